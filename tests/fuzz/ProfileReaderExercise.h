#pragma once
#include "platform/ProfileFile.h"

// Reads any bytes the way the program reads its settings file: every section, every key the
// program knows. Shared by the fuzz target and the corpus replay test.
inline void exerciseProfileReader(const QByteArray& content)
{
    static const char* const keys[] = {"panel", "avilable", "active", "name", "path", "sub", "fcreate", "argindex",
                                       "exec", "logfile", "waitproc", ""};
    const QStringList sections = ProfileFile::sectionNamesOf(content);
    for (const QString& s : sections.mid(0, 16))
        for (const char* k : keys) {
            const QString v = ProfileFile::readStringOf(content, s, QString::fromLatin1(k));
            if (v.size() > ProfileFile::MaxValueLength) __builtin_trap();
        }
    ProfileFile::readStringOf(content, QString(), QStringLiteral("k"));
}
