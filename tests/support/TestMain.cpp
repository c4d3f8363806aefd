#include <QApplication>
#include <gtest/gtest.h>

// Every test program runs inside a QApplication on the offscreen platform.
int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The real program of this build, for tests that start it as a user would.
    if (qEnvironmentVariableIsEmpty("VESMOR_BINARY")) qputenv("VESMOR_BINARY", VESMOR_BINARY_PATH);
    if (qEnvironmentVariableIsEmpty("VESMOR_SOURCE_DIR")) qputenv("VESMOR_SOURCE_DIR", VESMOR_SOURCE_DIR);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vesmor"));
    QApplication::setApplicationVersion(QStringLiteral("2.5"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
