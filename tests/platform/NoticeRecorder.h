#pragma once
#include "platform/changes/ChangeNotifyService.h"
#include "platform/shell/ShellNamespace.h"
#include "support/Waiting.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QList>
#include <QString>
#include <QStringList>
#include <QThread>

#include <functional>
#include <ostream>

// A registration of the change-notification service that writes down what it hears, for the
// tests of the service on real folders.
namespace NoticeTesting {

// Runs the event loop until the condition holds or ten seconds have passed.
using ::waitFor;

struct Notice {
    quint32 mask;
    QString first;
    QString second;
    friend bool operator==(const Notice&, const Notice&) = default;
};

inline std::ostream& operator<<(std::ostream& os, const Notice& n)
{
    return os << "{0x" << std::hex << n.mask << std::dec << " " << n.first.toStdString() << " "
              << n.second.toStdString() << "}";
}

// A registration that writes down every notice it receives, paths relative to a base folder.
class Recorder : public ShellNoticeWindow {
public:
    explicit Recorder(QString base = QString()) : base_(std::move(base)) {}
    ~Recorder() override { stop(); }

    // Registers and waits until the folders are watched.
    bool start(const QString& folder, bool recursive, quint32 mask)
    {
        const ItemIdList list = folder.isNull() ? ItemIdList() : ShellNamespace::parse(folder);
        if (!folder.isNull() && list.isNull()) return false;
        watching = false;
        id = SHChangeNotifyRegister(this, SHCNRF_InterruptLevel | SHCNRF_ShellLevel, mask, {list, recursive});
        return id != 0 && waitFor([this] { return watching || !refusal.isEmpty(); }) && watching;
    }
    void stop()
    {
        if (id) SHChangeNotifyDeregister(id);
        id = 0;
    }

    void shellNotice(const ItemIdList* first, const ItemIdList* second, quint32 mask) override
    {
        notices.append({mask, rel(first), rel(second)});
        if (first) firstLists.append(*first);
        if (!watching) ++heardBeforeWatching;
    }
    void shellNoticeError(const QString& message) override { errors.append(message); }
    void shellNoticeWatching(const QString& leftOut) override
    {
        watching = true;
        warning = leftOut;
    }
    void shellNoticeRefused(const QString& reason) override { refusal = reason; }
    void shellNoticePolled(const QString& message) override { polled.append(message); }
    void shellNoticeOverflow(int changesFound) override { overflows.append({changesFound, notices.size()}); }

    QString rel(const ItemIdList* l) const
    {
        if (!l) return QStringLiteral("-");
        QString p = ShellNamespace::pathOf(*l);
        if (!base_.isEmpty() && p.startsWith(base_ + u'/')) return p.mid(base_.size() + 1);
        if (!base_.isEmpty() && p == base_) return QStringLiteral(".");
        return p;
    }
    QList<Notice> only(quint32 mask) const
    {
        QList<Notice> out;
        for (const Notice& n : notices)
            if (n.mask & mask) out.append(n);
        return out;
    }
    bool has(const Notice& n) const { return notices.contains(n); }

    quint32 id = 0;
    int heardBeforeWatching = 0;
    bool watching = false;
    QString warning;
    QString refusal;
    QList<Notice> notices;
    QList<ItemIdList> firstLists;
    QStringList errors;
    QStringList polled;
    struct Overflow {
        int found;
        qsizetype heardBefore;  // notices heard before it
    };
    QList<Overflow> overflows;

private:
    QString base_;
};

// The changes of files and folders; free space, media and associations change on their own
// on a shared machine and are tested apart.
constexpr quint32 kChangeEvents = SHCNE_ALLEVENTS & ~(SHCNE_FREESPACE | SHCNE_ASSOCCHANGED | SHCNE_MEDIAINSERTED |
                                                      SHCNE_MEDIAREMOVED | SHCNE_DRIVEADD | SHCNE_DRIVEREMOVED);
constexpr quint32 kItemEvents = kChangeEvents & ~SHCNE_UPDATEDIR;

}  // namespace NoticeTesting
