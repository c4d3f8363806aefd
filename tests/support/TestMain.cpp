#include <QApplication>
#include <gtest/gtest.h>

// Every test program runs inside a QApplication on the offscreen platform.
int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vesmor"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vesmor 2.5"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
