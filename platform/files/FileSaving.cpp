#include "platform/files/FileSaving.h"

#include "platform/text/PathBytes.h"
#include "platform/files/PathWalk.h"
#include "platform/files/SiblingCopy.h"


#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileSaving {
namespace {

constexpr int kMaxRetries = 8;  // the name changed under us between two looks

Result cannotCreate(const QString& cause) { return {Failed::Create, cause}; }
Result cannotCreate(int err) { return cannotCreate(QString::fromLocal8Bit(std::strerror(err))); }

Result stopped(const PathWalk::Failure& f)
{
    if (!f.strangersLink.isEmpty())
        return cannotCreate(QStringLiteral("The link %1 belongs to another user.").arg(PathBytes::decode(f.strangersLink)));
    return cannotCreate(f.err);
}

// The copy beside `name`, written and on the disk, then renamed over it. `mode`: the old file's,
// or none (-1) for a new file, which takes the user's umask.
Result writeAndRename(int dir, const QByteArray& name, const QByteArray& content, int mode)
{
    QByteArray copy;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        copy = SiblingCopy::name(name);
        fd = ::openat(dir, copy.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0 && errno != EEXIST) return cannotCreate(errno);
    }
    if (fd < 0) return cannotCreate(EEXIST);
    const bool written = (mode < 0 || ::fchmod(fd, mode_t(mode)) == 0) && SiblingCopy::writeAll(fd, content) && ::fsync(fd) == 0;
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
        ::unlinkat(dir, copy.constData(), 0);
        return {Failed::Write, QString::fromLocal8Bit(std::strerror(written ? errno : writeError))};
    }
    if (::renameat(dir, copy.constData(), dir, name.constData()) != 0) {
        const int err = errno;
        ::unlinkat(dir, copy.constData(), 0);
        return cannotCreate(err);
    }
    return {};
}

}  // namespace

Result replace(const QString& path, const QByteArray& content)
{
    std::unique_ptr<PathWalk> walk;
    try {
        walk = std::make_unique<PathWalk>(PathBytes::encode(path));
        for (int attempt = 0; attempt < kMaxRetries; ++attempt) {
            const char* name = walk->name().constData();
            struct stat st {};
            if (::fstatat(walk->folder(), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno != ENOENT) return cannotCreate(errno);
                // Nothing is made where a link points: the link may be a stranger's, or stale.
                if (walk->viaLink()) return cannotCreate(QStringLiteral("The link leads to nothing."));
                return writeAndRename(walk->folder(), walk->name(), content, -1);
            }
            if (S_ISLNK(st.st_mode)) {
                const int link = ::openat(walk->folder(), name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
                if (link < 0) continue;  // gone meanwhile: look again
                try {
                    walk->follow(link);
                } catch (...) {
                    ::close(link);
                    throw;
                }
                ::close(link);
                continue;
            }
            if (S_ISDIR(st.st_mode)) return cannotCreate(EISDIR);
            if (!S_ISREG(st.st_mode)) return cannotCreate(QStringLiteral("It is not a regular file."));
            // A read-only file is not replaced, as it could not be written over.
            if (::faccessat(walk->folder(), name, W_OK, AT_EACCESS) != 0) return cannotCreate(errno);
            return writeAndRename(walk->folder(), walk->name(), content, int(st.st_mode & 0777));
        }
        return cannotCreate(ELOOP);
    } catch (const PathWalk::Failure& f) {
        return stopped(f);
    }
}

}  // namespace FileSaving
