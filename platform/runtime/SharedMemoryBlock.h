#pragma once
#include <QByteArray>
#include <QString>

#include <cstddef>

// A named block of memory shared by the processes of this user. A new block is filled with
// zeros; an existing one is opened as it is. The blocks live in this user's private runtime
// folder, so no one else can plant or read one; a block outlives its processes until removed.
class SharedMemoryBlock {
public:
    enum class Failure { None, Object, View };

    SharedMemoryBlock() = default;
    ~SharedMemoryBlock();
    SharedMemoryBlock(const SharedMemoryBlock&) = delete;
    SharedMemoryBlock& operator=(const SharedMemoryBlock&) = delete;

    // Opens the block of that name, creating it when missing, with at least `size` bytes. An
    // object under that name that is not a plain file of this user's is refused.
    bool open(const QString& name, std::size_t size);
    void close();

    bool isOpen() const { return data_ != nullptr; }
    void* data() const { return data_; }
    std::size_t size() const { return size_; }
    const QString& name() const { return name_; }

    // True when the block's name was removed after this view was opened: whoever opens the
    // name now gets a new block.
    bool removedMeanwhile() const;
    // Removes the name when it still names this very block.
    void removeName();

    // Why the last open failed: the object itself, or the view of it in this process.
    Failure failure() const { return failure_; }
    QString errorString() const { return error_; }

    // Where the system keeps the block: its file in the runtime folder (a long name shortened
    // with a digest).
    static QString systemName(const QString& name);
    static bool exists(const QString& name);
    static bool remove(const QString& name);

private:
    static QByteArray fileName(const QString& name);

    int fd_ = -1;
    void* data_ = nullptr;
    std::size_t size_ = 0;
    QString name_;
    Failure failure_ = Failure::None;
    QString error_;
};
