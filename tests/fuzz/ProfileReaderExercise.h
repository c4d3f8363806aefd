#pragma once
#include "platform/settings/ProfileFile.h"

// Reads any bytes the way the program reads its settings file: every section, every key the
// program knows; then writes a value into sections found there and reads it back. Shared by the
// fuzz target and the corpus replay test.
inline void exerciseProfileReader(const QByteArray& content)
{
    static const char* const keys[] = {"panel", "avilable", "active", "name", "path", "sub", "fcreate", "argindex",
                                       "exec", "logfile", "waitproc", ""};
    const ProfileFile::Snapshot snap(content);
    const QStringList sections = snap.sectionNames();
    if (sections.size() > snap.sectionHeaders().size()) __builtin_trap();
    for (const QString& s : sections.mid(0, 16)) {
        for (const char* k : keys) {
            const QString v = snap.readString(s, QString::fromLatin1(k));
            if (v.size() > ProfileFile::MaxValueLength) __builtin_trap();
            if (v != ProfileFile::readStringOf(content, s, QString::fromLatin1(k))) __builtin_trap();
        }
        snap.sectionExists(s);
    }
    ProfileFile::readStringOf(content, QString(), QStringLiteral("k"));

    // What is written reads back exactly, and adds no section but a new one.
    const QString odd = QStringLiteral(" \"odd' = [value] ");
    for (const QString& s : sections.mid(0, 4)) {
        const QByteArray written = ProfileFile::contentWith(content, {{s, QStringLiteral("path"), odd}});
        if (ProfileFile::readStringOf(written, s, QStringLiteral("path")) != odd) __builtin_trap();
        if (ProfileFile::sectionNamesOf(written) != sections) __builtin_trap();
    }
    const QByteArray added = ProfileFile::contentWith(content, {{QStringLiteral("fuzz-new"), QStringLiteral("k"), odd}});
    if (!sections.contains(QStringLiteral("fuzz-new"), Qt::CaseInsensitive) &&
        ProfileFile::readStringOf(added, QStringLiteral("fuzz-new"), QStringLiteral("k")) != odd)
        __builtin_trap();
}
