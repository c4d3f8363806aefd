#pragma once
#include <QByteArray>
#include <QString>

#include <cstddef>

// A named block of memory shared by the processes of this user. A new block is filled with
// zeros; an existing one is opened as it is. A block outlives its processes until it is removed.
class SharedMemoryBlock {
public:
    enum class Failure { None, Object, View };

    SharedMemoryBlock() = default;
    ~SharedMemoryBlock();
    SharedMemoryBlock(const SharedMemoryBlock&) = delete;
    SharedMemoryBlock& operator=(const SharedMemoryBlock&) = delete;

    // Opens the block of that name, creating it when missing, with at least `size` bytes.
    bool open(const QString& name, std::size_t size);
    void close();

    bool isOpen() const { return data_ != nullptr; }
    void* data() const { return data_; }
    std::size_t size() const { return size_; }

    // Why the last open failed: the object itself, or the view of it in this process.
    Failure failure() const { return failure_; }
    QString errorString() const { return error_; }

    // The name the system knows the block by: per user, shortened with a digest when long.
    static QString systemName(const QString& name);
    static bool exists(const QString& name);
    static bool remove(const QString& name);

private:
    static QByteArray nativeName(const QString& name);

    int fd_ = -1;
    void* data_ = nullptr;
    std::size_t size_ = 0;
    Failure failure_ = Failure::None;
    QString error_;
};
