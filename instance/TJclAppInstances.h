#pragma once
#include "platform/runtime/ProcessLock.h"
#include "platform/runtime/SharedMemoryBlock.h"

#include <QList>
#include <QString>

#include <cstddef>
#include <memory>

// The registry of the running copies of one executable: a block of shared memory, named after
// the executable's path and guarded by a shared lock, listing their process ids in the order in
// which they registered.
//
// Block layout, little-endian: limit (2 bytes), count (2 bytes), 257 process ids of 4 bytes.
class TJclAppInstances {
public:
    static constexpr int MaxProcessIds = 257;
    static constexpr std::size_t BlockSize = 4 + 4 * MaxProcessIds;

    // The registry of this process, for the executable at that path. Throws AppException
    // naming the object that could not be created.
    explicit TJclAppInstances(const QString& executablePath);
    // A registry under an explicit key; entries count while their process runs executablePath.
    TJclAppInstances(const QString& key, const QString& executablePath, qint64 processId);
    ~TJclAppInstances();  // unregisters
    TJclAppInstances(const TJclAppInstances&) = delete;
    TJclAppInstances& operator=(const TJclAppInstances&) = delete;

    // "JCL" + the path upper-cased, with "/" replaced by "_".
    static QString InstanceKey(const QString& executablePath);
    static QString RegistryName(const QString& key) { return key + QStringLiteral("_All"); }
    static QString LockName(const QString& key) { return key + QStringLiteral("_Otx"); }
    // Removes the shared objects of a key (no copy may be running). The last copy to unregister
    // removes them itself.
    static void RemoveSharedObjects(const QString& key);

    // The running copy listens for "come forward" requests on the channel named after the key.
    // A request reads "forward <target id> <asking id>"; the answer is one of the words below.
    static QByteArray ForwardRequest(qint64 target, qint64 asking);
    static bool ParseForwardRequest(const QByteArray& line, qint64* target, qint64* asking);
    static constexpr const char* AnswerShown = "shown";      // the window is visible now
    static constexpr const char* AnswerHidden = "hidden";    // it was asked to, but stays hidden
    static constexpr const char* AnswerPending = "pending";  // it comes forward once it exists
    static constexpr const char* AnswerNotMe = "elsewhere";  // the listener is another process

    const QString& Key() const { return key_; }
    qint64 ProcessId() const { return processId_; }

    // Appends the own process id; false when the list is full even after dropping ended copies.
    bool Register();
    // Removes the own process id; the ids after it keep their order. When no id is left, the
    // shared objects are removed, so nothing stays behind once the last copy has ended.
    void Unregister();
    // Position of the own id, -1 when absent.
    int OwnIndex();
    // The id at that position, 0 when there is none.
    qint64 ProcessIdAt(int index);
    int InstanceCount();
    QList<qint64> ProcessIds();
    // Drops the ids of copies that are no longer running (a crash leaves its id behind);
    // returns how many were dropped.
    int PruneEndedProcesses();
    // Asks the copy at that position to bring its main window forward; true when it did.
    bool SwitchTo(int index);

private:
    class Section;
    void openObjects();
    int count() const;
    void setCount(int count);
    qint64 idAt(int slot) const;
    void setIdAt(int slot, qint64 id);
    void removeSlot(int slot);
    int find(qint64 id) const;
    int pruneLocked();

    QString key_;
    QString executablePath_;
    qint64 processId_;
    ProcessLock lock_;
    SharedMemoryBlock block_;
};

// The process-wide registry of this program, created on first use and kept until the process
// ends or it is released. Throws AppException naming the object that could not be created.
TJclAppInstances& JclAppInstances();
// Unregisters and releases the process-wide registry.
void ReleaseJclAppInstances();
