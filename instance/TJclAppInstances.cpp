#include "instance/TJclAppInstances.h"

#include "platform/boxes/AppException.h"
#include "platform/runtime/ProcessInfo.h"
#include "platform/runtime/SwitchChannel.h"

#include <QDeadlineTimer>
#include <QThread>
#include <QtEndian>

namespace {

constexpr int LimitOffset = 0;
constexpr int CountOffset = 2;
constexpr int IdsOffset = 4;
constexpr quint16 NoLimit = 65535;
constexpr int SwitchTimeoutMs = 3000;

}  // namespace

// Holds the registry lock. The block's name may have been removed by the last copy while this
// process waited; the list then lives in a new block under that name.
class TJclAppInstances::Section {
public:
    explicit Section(TJclAppInstances& registry) : registry_(registry), held_(registry.lock_.lock())
    {
        if (!held_ || (registry_.block_.isOpen() && !registry_.block_.removedMeanwhile())) return;
        if (!registry_.block_.open(RegistryName(registry_.key_), BlockSize)) {
            registry_.lock_.unlock();
            held_ = false;
        }
    }
    ~Section()
    {
        if (held_) registry_.lock_.unlock();
    }
    Section(const Section&) = delete;
    Section& operator=(const Section&) = delete;
    bool held() const { return held_; }

private:
    TJclAppInstances& registry_;
    bool held_;
};

TJclAppInstances::TJclAppInstances(const QString& executablePath)
    : TJclAppInstances(InstanceKey(executablePath), executablePath, ProcessInfo::currentProcessId())
{
}

TJclAppInstances::TJclAppInstances(const QString& key, const QString& executablePath, qint64 processId)
    : key_(key), executablePath_(executablePath), processId_(processId)
{
    openObjects();
}

TJclAppInstances::~TJclAppInstances() { Unregister(); }

QString TJclAppInstances::InstanceKey(const QString& executablePath)
{
    QString key = QStringLiteral("Jcl") + executablePath;
    return key.toUpper().replace(u'/', u'_');
}

void TJclAppInstances::RemoveSharedObjects(const QString& key)
{
    SharedMemoryBlock::remove(RegistryName(key));
    ProcessLock::remove(LockName(key));
}

void TJclAppInstances::openObjects()
{
    const QString lockName = LockName(key_);
    if (!lock_.open(lockName)) {
        const QString object = SharedMemoryBlock::systemName(ProcessLock::blockName(lockName));
        QString what;
        switch (lock_.failure()) {
        case ProcessLock::Failure::View: what = QStringLiteral("Failed to create FileMappingView"); break;
        case ProcessLock::Failure::Lock: what = QStringLiteral("Failed to create event"); break;
        default: what = QStringLiteral("Failed to create FileMapping"); break;
        }
        throw AppException(QStringLiteral("%1 %2: %3").arg(what, object, lock_.errorString()));
    }
    if (!block_.open(RegistryName(key_), BlockSize)) {
        const QString what = block_.failure() == SharedMemoryBlock::Failure::View
                                 ? QStringLiteral("Failed to create FileMappingView")
                                 : QStringLiteral("Failed to create FileMapping");
        throw AppException(QStringLiteral("%1 %2: %3")
                               .arg(what, SharedMemoryBlock::systemName(RegistryName(key_)), block_.errorString()));
    }
}

// A copy that died halfway through a change, or a stranger's bytes, may leave any count.
int TJclAppInstances::count() const
{
    const auto* bytes = static_cast<const uchar*>(block_.data());
    return qMin<int>(qFromLittleEndian<quint16>(bytes + CountOffset), MaxProcessIds);
}

void TJclAppInstances::setCount(int count)
{
    qToLittleEndian<quint16>(quint16(count), static_cast<uchar*>(block_.data()) + CountOffset);
}

qint64 TJclAppInstances::idAt(int slot) const
{
    return qFromLittleEndian<quint32>(static_cast<const uchar*>(block_.data()) + IdsOffset + 4 * slot);
}

void TJclAppInstances::setIdAt(int slot, qint64 id)
{
    qToLittleEndian<quint32>(quint32(id), static_cast<uchar*>(block_.data()) + IdsOffset + 4 * slot);
}

void TJclAppInstances::removeSlot(int slot)
{
    const int n = count();
    for (int i = slot; i + 1 < n; ++i) setIdAt(i, idAt(i + 1));
    setIdAt(n - 1, 0);
    setCount(n - 1);
}

int TJclAppInstances::find(qint64 id) const
{
    const int n = count();
    for (int i = 0; i < n; ++i)
        if (idAt(i) == id) return i;
    return -1;
}

int TJclAppInstances::pruneLocked()
{
    int dropped = 0;
    for (int i = count() - 1; i >= 0; --i) {
        const qint64 id = idAt(i);
        if (id == processId_ || ProcessInfo::runsExecutable(id, executablePath_)) continue;
        removeSlot(i);
        ++dropped;
    }
    return dropped;
}

QByteArray TJclAppInstances::ForwardRequest(qint64 target, qint64 asking)
{
    return "forward " + QByteArray::number(target) + ' ' + QByteArray::number(asking);
}

bool TJclAppInstances::ParseForwardRequest(const QByteArray& line, qint64* target, qint64* asking)
{
    const QList<QByteArray> words = line.split(' ');
    if (words.size() != 3 || words[0] != "forward") return false;
    bool ok1 = false, ok2 = false;
    *target = words[1].toLongLong(&ok1);
    *asking = words[2].toLongLong(&ok2);
    return ok1 && ok2;
}

bool TJclAppInstances::Register()
{
    Section locker(*this);
    if (!locker.held()) return false;
    auto* bytes = static_cast<uchar*>(block_.data());
    if (qFromLittleEndian<quint16>(bytes + LimitOffset) == 0) qToLittleEndian<quint16>(NoLimit, bytes + LimitOffset);
    // Ids of ended copies would fill the list for good.
    pruneLocked();
    const int n = count();
    if (n >= MaxProcessIds) return false;
    setIdAt(n, processId_);
    setCount(n + 1);
    return true;
}

void TJclAppInstances::Unregister()
{
    Section locker(*this);
    if (!locker.held()) return;
    const int slot = find(processId_);
    if (slot >= 0) removeSlot(slot);
    if (count() > 0) return;
    // Removed while the lock is held: whoever waits for it looks again under the names.
    block_.removeName();
    lock_.removeName();
}

int TJclAppInstances::OwnIndex()
{
    Section locker(*this);
    return locker.held() ? find(processId_) : -1;
}

qint64 TJclAppInstances::ProcessIdAt(int index)
{
    Section locker(*this);
    if (!locker.held() || index < 0 || index >= count()) return 0;
    return idAt(index);
}

int TJclAppInstances::InstanceCount()
{
    Section locker(*this);
    return locker.held() ? count() : 0;
}

QList<qint64> TJclAppInstances::ProcessIds()
{
    Section locker(*this);
    QList<qint64> ids;
    if (!locker.held()) return ids;
    for (int i = 0, n = count(); i < n; ++i) ids << idAt(i);
    return ids;
}

int TJclAppInstances::PruneEndedProcesses()
{
    Section locker(*this);
    return locker.held() ? pruneLocked() : 0;
}

bool TJclAppInstances::SwitchTo(int index)
{
    const qint64 target = ProcessIdAt(index);
    if (target == 0 || target == processId_) return false;
    const QByteArray request = ForwardRequest(target, processId_);
    // A copy that started a moment earlier may not be listening yet.
    const QDeadlineTimer deadline(SwitchTimeoutMs);
    for (;;) {
        const auto answer = SwitchChannel::ask(key_, request, int(qMax<qint64>(deadline.remainingTime(), 1)));
        if (answer) return *answer == AnswerShown || *answer == AnswerPending;
        if (deadline.hasExpired() || !ProcessInfo::runsExecutable(target, executablePath_)) return false;
        QThread::msleep(20);
    }
}

namespace {

std::unique_ptr<TJclAppInstances>& processRegistry()
{
    static std::unique_ptr<TJclAppInstances> registry;
    return registry;
}

}  // namespace

TJclAppInstances& JclAppInstances()
{
    auto& registry = processRegistry();
    if (!registry) registry = std::make_unique<TJclAppInstances>(ProcessInfo::executablePath());
    return *registry;
}

void ReleaseJclAppInstances() { processRegistry().reset(); }
