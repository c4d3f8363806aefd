#pragma once
#include <QString>
#include <QStringList>

#include <ostream>

// Readable Qt values in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os)
{
    *os << '{';
    for (qsizetype i = 0; i < l.size(); ++i) {
        if (i) *os << ", ";
        PrintTo(l[i], os);
    }
    *os << '}';
}
