#include "platform/ProgramStarter.h"

#include "platform/WindowsCommandLine.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace ProgramStarter {
namespace {

// What the two forked processes tell the caller through the pipe; one write each, small
// enough to arrive whole.
struct Report {
    char tag;       // 'P' pid of the started process, 'X' exec failed, 'D' no such start folder
    int error;
    qint64 value;
};

void report(int fd, char tag, int error, qint64 value)
{
    const Report r{tag, error, value};
    ssize_t n;
    do {
        n = ::write(fd, &r, sizeof r);
    } while (n < 0 && errno == EINTR);
}

int errorOf(int err)
{
    switch (err) {
    case ENOENT: return FileNotFound;
    case ENOTDIR: return PathNotFound;
    case ENOEXEC:
    case ELIBBAD:
    case EISDIR:
    case ELOOP: return BadFormat;
    case ENOMEM:
    case E2BIG:
    case EAGAIN: return OutOfMemory;
    case ETXTBSY: return SharingViolation;
    default: return AccessDenied;
    }
}

// Forks twice so that the program is the child of no one here: the middle process ends at
// once and is reaped at once, the program is adopted by init (or a subreaper). Only
// async-signal-safe calls run between the forks and the exec.
Result spawnDetached(const QByteArray& exe, const QList<QByteArray>& args, const QByteArray& directory)
{
    std::vector<char*> argv;
    argv.reserve(size_t(args.size()) + 1);
    for (const QByteArray& a : args) argv.push_back(const_cast<char*>(a.constData()));
    argv.push_back(nullptr);
    const char* dir = directory.isEmpty() ? nullptr : directory.constData();

    struct rlimit lim {};
    const int maxFd = ::getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY && lim.rlim_cur < 65536
                          ? int(lim.rlim_cur)
                          : 65536;

    int pipeFd[2];
    if (::pipe2(pipeFd, O_CLOEXEC) != 0) return {errno == EMFILE || errno == ENFILE ? OutOfMemory : AccessDenied, 0};
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);

    const pid_t middle = ::fork();
    if (middle < 0) {
        ::close(pipeFd[0]);
        ::close(pipeFd[1]);
        if (devNull >= 0) ::close(devNull);
        return {OutOfMemory, 0};
    }
    if (middle == 0) {
        ::close(pipeFd[0]);
        ::setsid();  // out of our session: a terminal's hang-up or Ctrl-C doesn't reach it
        const pid_t program = ::_Fork();
        if (program < 0) {
            report(pipeFd[1], 'X', EAGAIN, 0);
            ::_exit(0);
        }
        if (program == 0) {
            sigset_t none;
            ::sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            struct sigaction dfl {};
            dfl.sa_handler = SIG_DFL;
            for (int s = 1; s < NSIG; ++s)
                if (s != SIGKILL && s != SIGSTOP) ::sigaction(s, &dfl, nullptr);
            if (devNull >= 0) ::dup2(devNull, 0);  // a desktop program has no terminal input
            if (dir && ::chdir(dir) != 0) {
                report(pipeFd[1], 'D', errno, 0);
                ::_exit(127);
            }
            // Nothing of ours leaks into the program: every descriptor above stderr closes on exec.
            if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0)
                for (int fd = 3; fd < maxFd; ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
            ::execve(exe.constData(), argv.data(), environ);
            report(pipeFd[1], 'X', errno, 0);
            ::_exit(127);
        }
        report(pipeFd[1], 'P', 0, program);
        ::_exit(0);
    }

    ::close(pipeFd[1]);
    if (devNull >= 0) ::close(devNull);
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }

    // The pipe reaches its end when the program's exec succeeded (close on exec) or it gave up.
    Result result;
    bool started = false;
    for (;;) {
        Report r {};
        const ssize_t n = ::read(pipeFd[0], &r, sizeof r);
        if (n < 0 && errno == EINTR) continue;
        if (n != ssize_t(sizeof r)) break;
        if (r.tag == 'P') {
            result.processId = r.value;
            started = true;
        } else if (r.tag == 'D') {
            result.error = r.error == ENOENT || r.error == ENOTDIR ? PathNotFound : AccessDenied;
        } else if (r.tag == 'X') {
            result.error = errorOf(r.error);
        }
    }
    ::close(pipeFd[0]);
    if (!started && result.error == Ok) result.error = OutOfMemory;
    if (result.error != Ok) result.processId = 0;
    return result;
}

int statError(const QString& name, int err)
{
    switch (err) {
    case ENOENT: return QFileInfo(name).absoluteDir().exists() ? FileNotFound : PathNotFound;
    case ENOTDIR: return PathNotFound;
    case ELOOP: return FileNotFound;
    default: return AccessDenied;
    }
}

// The interpreter named by a "#!" line, and its one optional argument, as the kernel reads it.
bool interpreterOf(const QByteArray& path, QByteArray& interpreter, QByteArray& argument)
{
    QFile f(QFile::decodeName(path));
    if (!f.open(QIODevice::ReadOnly)) return false;
    QByteArray head = f.read(256);
    if (!head.startsWith("#!")) return false;
    const qsizetype eol = head.indexOf('\n');
    if (eol >= 0) head.truncate(eol);
    QByteArray line = head.mid(2).trimmed();
    const qsizetype blank = [&] {
        for (qsizetype i = 0; i < line.size(); ++i)
            if (line[i] == ' ' || line[i] == '\t') return i;
        return qsizetype(-1);
    }();
    interpreter = blank < 0 ? line : line.left(blank);
    argument = blank < 0 ? QByteArray() : line.mid(blank).trimmed();
    return interpreter.startsWith('/');
}

}  // namespace

Result start(const QString& verb, const QString& file, const QString& parameters, const QString& directory, int)
{
    if (!verb.isEmpty() && verb.compare(QStringLiteral("open"), Qt::CaseInsensitive) != 0) return {NoAssociation, 0};

    QString name = file;
    if (name.size() >= 2 && name.startsWith(u'"') && name.endsWith(u'"')) name = name.mid(1, name.size() - 2);
    if (name.isEmpty()) return {FileNotFound, 0};
    if (!name.contains(u'/')) {
        const QString found = QStandardPaths::findExecutable(name);
        if (found.isEmpty()) return {FileNotFound, 0};
        name = found;
    }
    name = QFileInfo(name).absoluteFilePath();
    const QByteArray path = QFile::encodeName(name);

    struct stat st {};
    if (::stat(path.constData(), &st) != 0) return {statError(name, errno), 0};

    const QByteArray dir = QFile::encodeName(directory);
    QList<QByteArray> args;
    const auto withParameters = [&] {
        for (const QString& w : WindowsCommandLine::split(parameters)) args.append(w.toLocal8Bit());
    };
    const bool regular = S_ISREG(st.st_mode);
    QByteArray interpreter, interpreterArgument;
    if (regular && ::faccessat(AT_FDCWD, path.constData(), X_OK, AT_EACCESS) == 0) {
        args.append(path);
        withParameters();
        return spawnDetached(path, args, dir);
    }
    if (regular && interpreterOf(path, interpreter, interpreterArgument)) {
        args.append(interpreter);
        if (!interpreterArgument.isEmpty()) args.append(interpreterArgument);
        args.append(path);
        withParameters();
        return spawnDetached(interpreter, args, dir);
    }
    // Documents, folders and the rest go to the desktop's opener, which takes the one name only.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) return {NoAssociation, 0};
    const QByteArray openerPath = QFile::encodeName(opener);
    args = {openerPath, path};
    return spawnDetached(openerPath, args, dir);
}

}  // namespace ProgramStarter
