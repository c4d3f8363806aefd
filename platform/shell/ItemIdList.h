#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

// The binary name of a namespace object, in the desktop shell's layout: items of {16-bit
// little-endian size including the size field, payload}, ended by a 16-bit zero. An absolute
// list starts at the desktop, whose own list is the empty one (just the terminator).
//
// A default-made list is "none": no list at all, which is not the desktop. Lists are values:
// copying one clones it and dropping it frees it; the bytes are shared between copies, so a list
// may be handed to another thread.
//
// Our payloads start with a kind byte followed by the name's exact bytes (see Kind; a name need
// not be UTF-8, see PathBytes). Other payloads (such as the free-space notice's two numbers) are
// carried unchanged.
class ItemIdList {
public:
    enum class Kind : quint8 {
        Unknown = 0,
        Folder = 'd',    // a folder of the file system; text: its name
        File = 'f',      // any other file-system object; text: its name
        Home = 'h',      // the Home folder; text: its absolute path
        Computer = 'c',  // the virtual Computer folder; no text
        Volume = 'v',    // a mounted volume; text: mount path, NUL, label (may be empty)
    };

    ItemIdList() = default;

    static ItemIdList desktop();
    // A one-item list holding the text's bytes (PathBytes). Text longer than an item can hold is
    // cut at a character boundary.
    static ItemIdList element(Kind kind, const QString& text = QString());
    static ItemIdList rawElement(const QByteArray& payload);

    bool isNull() const { return bytes_.isEmpty(); }
    bool isDesktop() const { return bytes_.size() == 2; }  // the empty list
    const QByteArray& bytes() const { return bytes_; }  // terminator included; empty for none
    int count() const;

    QByteArray payload(int index) const;
    Kind kind(int index) const;
    QString text(int index) const;  // the bytes after the kind byte (PathBytes::decode)
    Kind lastKind() const { return count() ? kind(count() - 1) : Kind::Unknown; }
    // Walks the items in one pass: `at` starts at 0; gives each item's kind and the bytes of its
    // text (valid while the list lives), false after the last.
    bool next(qsizetype& at, Kind& kind, QByteArrayView& text) const;
    QString lastText() const { return count() ? text(count() - 1) : QString(); }

    ItemIdList clone() const { return *this; }
    void free() { bytes_.clear(); }

    // The list without its last item; none for the desktop and for none.
    ItemIdList parent() const;
    // The last item as a list of its own; the desktop for the desktop, none for none.
    ItemIdList lastElement() const;
    // This list followed by the items of `relative`; none when either is none.
    ItemIdList appended(const ItemIdList& relative) const;

    friend bool operator==(const ItemIdList& a, const ItemIdList& b) { return a.bytes_ == b.bytes_; }

private:
    explicit ItemIdList(QByteArray bytes) : bytes_(std::move(bytes)) {}
    // Byte offsets of each item's size field.
    qsizetype offsetOf(int index) const;

    QByteArray bytes_;
};

// The shell's function names, for code that reads best in them.
inline bool ILIsEqual(const ItemIdList& a, const ItemIdList& b) { return a == b; }
