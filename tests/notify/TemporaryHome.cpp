#include "TemporaryHome.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <memory>

namespace {

class HomeEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        for (const char* name : kNames) saved_.append({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        dir_ = std::make_unique<QTemporaryDir>();
        home_ = QDir(dir_->path()).filePath(QStringLiteral("home"));
        QDir().mkpath(home_ + QStringLiteral("/Desktop"));
        QDir().mkpath(home_ + QStringLiteral("/.config"));
        QFile dirs(home_ + QStringLiteral("/.config/user-dirs.dirs"));
        if (dirs.open(QIODevice::WriteOnly)) dirs.write("XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n");
        qputenv("HOME", QFile::encodeName(home_));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_ + QStringLiteral("/.config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home_ + QStringLiteral("/.local/share")));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(home_ + QStringLiteral("/.cache")));
    }
    void TearDown() override
    {
        for (const Saved& s : saved_) {
            if (s.set) qputenv(s.name, s.value);
            else qunsetenv(s.name);
        }
        dir_.reset();
    }

    static QString home_;

private:
    static constexpr const char* kNames[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"};
    struct Saved {
        const char* name;
        QByteArray value;
        bool set;
    };
    std::unique_ptr<QTemporaryDir> dir_;
    QList<Saved> saved_;
};

QString HomeEnvironment::home_;

::testing::Environment* const registered = ::testing::AddGlobalTestEnvironment(new HomeEnvironment);

}  // namespace

namespace TemporaryHome {
QString home() { return HomeEnvironment::home_; }
QString desktop() { return HomeEnvironment::home_ + QStringLiteral("/Desktop"); }
}  // namespace TemporaryHome
