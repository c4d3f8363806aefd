#include "platform/SettingsFolder.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace SettingsFolderService {
namespace {

QString nonEmptyEnv(const char* name)
{
    return qEnvironmentVariableIsEmpty(name) ? QString() : qEnvironmentVariable(name);
}

}  // namespace

QString temporaryFolder()
{
    QString folder = nonEmptyEnv("TEMP");
    if (folder.isEmpty()) folder = nonEmptyEnv("TMP");
    if (folder.isEmpty()) {
        folder = nonEmptyEnv("XDG_CACHE_HOME");
        if (folder.isEmpty()) folder = QDir::homePath() + QStringLiteral("/.cache");
    }
    // cleanPath folds ".", ".." and doubled separators and drops a trailing one; links stay.
    QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    return clean == QStringLiteral("/") ? QString() : clean;
}

QString settingsFolderPath() { return temporaryFolder() + QStringLiteral("/VSM25"); }

FolderState ensurePrivateFolder(const QString& path)
{
    const QByteArray p = QFile::encodeName(path);
    struct stat st {};
    if (::stat(p.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        if (::mkdir(p.constData(), 0700) != 0) return FolderState::CreateFailed;
        return FolderState::Created;
    }
    if (st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH))) return FolderState::NotPrivate;
    return FolderState::Private;
}

}  // namespace SettingsFolderService
