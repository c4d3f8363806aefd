#pragma once
#include <QByteArray>

#include <deque>

// One walk from a path the user chose to the open folder that holds its last name, following
// only links of the user's own or root's. Every name is looked up in the folder opened before
// it, so nothing swapped in between a look and a use is ever followed. Used by whatever writes
// or watches such a path (log files, the saved live log, a watched folder).
class PathWalk {
public:
    // Why a walk stopped: the system's error number (EACCES for a link of another user, EISDIR
    // for a path that names a folder), whether it stopped at a folder on the way, and the link
    // that was refused, if that was the cause.
    struct Failure {
        int err = 0;
        bool onTheWay = false;
        QByteArray strangersLink;
    };

    // Throws Failure.
    explicit PathWalk(const QByteArray& path);
    ~PathWalk();
    PathWalk(const PathWalk&) = delete;
    PathWalk& operator=(const PathWalk&) = delete;

    int folder() const { return dir_; }          // opened with O_PATH
    const QByteArray& name() const { return name_; }  // the last name, looked up in folder()
    bool viaLink() const { return viaLink_; }    // the last name is a link's target
    QByteArray pathOfName() const;               // where name() stands, as spelled

    // The last name is the link open (O_PATH) as `link`: go on with its target. Throws Failure.
    void follow(int link);

    // The first link of another user (root aside) on the way to path, its last name included;
    // empty when there is none, or when the path can't be walked (whoever uses it says why).
    static QByteArray strangersLinkOn(const QByteArray& path);

    // Whether someone other than the user (or root) owns the folder, or others may write to it:
    // whatever it holds may have been put there by someone else.
    bool folderSharedWithOthers() const;

private:
    int dir_ = -1;
    QByteArray here_;  // the folder's path as spelled: links' targets replace what they stood for
    QByteArray name_;
    bool viaLink_ = false;
    std::deque<QByteArray> rest_;  // names still to look up, the last one included
    int links_ = 0;

    void reset(int fd);
    bool withoutLinks(const QByteArray& path);
    void push(const QByteArray& path);
    void pushTarget(int link, const QByteArray& linkPath);
    void advance();
};
