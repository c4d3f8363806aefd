#pragma once
#include <QString>

#include <memory>

// A folder opened once and then used through that opening: names in it are looked up relative
// to it, so a path that is swapped or re-pointed after the opening changes nothing. Copies share
// the one opening, which is closed with the last of them.
class OpenFolder {
public:
    OpenFolder() = default;

    // Opens the folder at `path`, following links. When it can't be opened the result is not
    // open but still knows its path (for messages).
    static OpenFolder open(const QString& path);
    // Takes over a folder that platform code has opened itself (a negative handle: not open).
    static OpenFolder adopt(const QString& path, int handle);

    bool isOpen() const { return handle_ != nullptr; }
    const QString& path() const { return path_; }
    // The system's handle of the opening, for platform code; -1 when not open.
    int handle() const;

private:
    struct Handle;
    OpenFolder(QString path, int handle);

    QString path_;
    std::shared_ptr<Handle> handle_;
};
