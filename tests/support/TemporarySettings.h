#pragma once
#include "platform/settings/ProfileFile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

// A fresh temporary folder standing for the user's TEMP, and what a test reads of the settings
// file in it (VSM25/settings.cfg).
class TemporarySettings {
public:
    QTemporaryDir temp;

    QString file() const { return temp.path() + "/VSM25/settings.cfg"; }
    QByteArray settingsBytes() const
    {
        QFile f(file());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QString key(const QString& section, const QString& k) const { return ProfileFile::readString(file(), section, k); }
    QStringList sections() const { return ProfileFile::sectionNames(file()); }

    // A folder under the temporary folder, created.
    QString folder(const QString& relative) const
    {
        const QString p = temp.path() + u'/' + relative;
        QDir().mkpath(p);
        return p;
    }
};
