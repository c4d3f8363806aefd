#pragma once
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// Points $HOME and the XDG folders at a temporary folder for as long as it lives, so that the
// namespace's Home and Desktop are ours: $HOME/Desktop is the desktop folder.
class TemporaryHome {
public:
    TemporaryHome()
    {
        for (const char* name : kNames) saved_.append({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        home_ = QDir(dir_.path()).filePath(QStringLiteral("home"));
        QDir().mkpath(home_ + QStringLiteral("/Desktop"));
        QDir().mkpath(home_ + QStringLiteral("/.config"));
        QFile dirs(home_ + QStringLiteral("/.config/user-dirs.dirs"));
        if (dirs.open(QIODevice::WriteOnly)) dirs.write("XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n");
        qputenv("HOME", QFile::encodeName(home_));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_ + QStringLiteral("/.config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home_ + QStringLiteral("/.local/share")));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(home_ + QStringLiteral("/.cache")));
    }
    ~TemporaryHome()
    {
        for (const Saved& s : saved_) {
            if (s.set) qputenv(s.name, s.value);
            else qunsetenv(s.name);
        }
    }
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;

    const QString& home() const { return home_; }
    QString desktop() const { return home_ + QStringLiteral("/Desktop"); }
    // A path below $HOME.
    QString at(const QString& rel) const { return home_ + u'/' + rel; }

private:
    static constexpr const char* kNames[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"};
    struct Saved {
        const char* name;
        QByteArray value;
        bool set;
    };
    QTemporaryDir dir_;
    QString home_;
    QList<Saved> saved_;
};
