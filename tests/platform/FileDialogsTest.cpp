#include "platform/boxes/FileDialogs.h"

#include <gtest/gtest.h>

namespace {

TEST(FileDialogs, NameFiltersFromThePipeForm)
{
    struct Case { QString filter; QStringList expected; };
    const Case cases[] = {
        {"Program files (*.exe)|*.exe|Batch files (*.bat)|*.bat|VB script files (*.vbs)|*.vbs|All files (*.*)|*.*",
         {"Program files (*.exe)", "Batch files (*.bat)", "VB script files (*.vbs)", "All files (*)"}},
        {"Text files (*.txt)|*.txt|Log files (*.log)|*.log", {"Text files (*.txt)", "Log files (*.log)"}},
        {"Pictures|*.png;*.svg", {"Pictures (*.png *.svg)"}},
        {"", {}},
        {"Odd entry without pattern", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(FileDialogs::nameFilters(c.filter), c.expected) << c.filter.toStdString();
}

TEST(FileDialogs, DefaultExtensionOnlyForNamesWithoutOne)
{
    struct Case { QString path, ext, expected; };
    const Case cases[] = {
        {"/tmp/log", "txt", "/tmp/log.txt"},
        {"/tmp/log.txt", "txt", "/tmp/log.txt"},
        {"/tmp/log.csv", "txt", "/tmp/log.csv"},
        {"/tmp/v1.2/log", "txt", "/tmp/v1.2/log.txt"},
        {"/tmp/log", "", "/tmp/log"},
        {"", "txt", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(FileDialogs::withDefaultExtension(c.path, c.ext), c.expected);
}

TEST(FileDialogs, ResponderPlaysTheUserOfBothDialogs)
{
    QList<FileDialogs::Request> seen;
    QStringList answers{"/home/u/saved", "", "/home/u/prog.sh"};
    auto previous = FileDialogs::setResponder([&](const FileDialogs::Request& r) {
        seen << r;
        return answers.takeFirst();
    });
    FileDialogs::Request save;
    save.title = "Save log as";
    save.filter = "Text files (*.txt)|*.txt";
    save.defaultExtension = "txt";
    EXPECT_EQ(FileDialogs::getSaveFileName(save), QStringLiteral("/home/u/saved.txt"));
    EXPECT_EQ(FileDialogs::getSaveFileName(save), QString());
    FileDialogs::Request open;
    open.title = "Browse";
    EXPECT_EQ(FileDialogs::getOpenFileName(open), QStringLiteral("/home/u/prog.sh"));
    FileDialogs::setResponder(std::move(previous));

    ASSERT_EQ(seen.size(), 3);
    EXPECT_EQ(seen[0].kind, FileDialogs::Kind::Save);
    EXPECT_EQ(seen[0].title, QStringLiteral("Save log as"));
    EXPECT_EQ(seen[2].kind, FileDialogs::Kind::Open);
}

}  // namespace
