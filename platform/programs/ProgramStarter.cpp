#include "platform/programs/ProgramStarter.h"

#include "platform/text/PathBytes.h"
#include "platform/programs/WindowsCommandLine.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace ProgramStarter {
namespace {

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

// Shared by the caller and the two processes it makes: they run in the caller's memory until
// the program's exec, like vfork, so nothing of the caller's address space is ever copied.
struct Spawn {
    const char* exe;
    char* const* argv;
    const char* dir;
    int devNull;
    int maxFd;
    char* programStackTop;
    // Written by the children, read by the caller once they are done.
    pid_t programPid;
    char failedStep;  // 0, 'D' no start folder, 'X' exec failed, 'F' no process
    int error;
};

constexpr size_t childStack = 256 * 1024;

int runProgram(void* arg)
{
    auto* s = static_cast<Spawn*>(arg);
    // Everything was blocked by the caller, so no handler of ours can run here; now each signal
    // gets its default, and the program starts with none blocked.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        if (sig != SIGKILL && sig != SIGSTOP) ::sigaction(sig, &dfl, nullptr);
    // Straight to the kernel: no library wrapper runs on this borrowed stack.
    sigset_t none;
    ::sigemptyset(&none);
    ::syscall(SYS_rt_sigprocmask, SIG_SETMASK, &none, nullptr, size_t(_NSIG / 8));
    if (s->devNull >= 0) ::dup2(s->devNull, 0);  // a desktop program has no terminal input
    if (s->dir && ::chdir(s->dir) != 0) {
        s->error = errno;
        s->failedStep = 'D';
        ::_exit(127);
    }
    // Nothing of ours leaks into the program: every descriptor above stderr closes on exec.
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0)
        for (int fd = 3; fd < s->maxFd; ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::execve(s->exe, s->argv, environ);
    s->error = errno;
    s->failedStep = 'X';
    ::_exit(127);
}

int runMiddle(void* arg)
{
    auto* s = static_cast<Spawn*>(arg);
    ::setsid();  // out of our session: a terminal's hang-up or Ctrl-C doesn't reach the program
    // Returns once the program has exec'd or given up.
    const pid_t program = ::clone(runProgram, s->programStackTop, CLONE_VM | CLONE_VFORK | SIGCHLD, s);
    if (program < 0) {
        s->error = errno;
        s->failedStep = 'F';
    } else {
        s->programPid = program;
    }
    ::_exit(0);  // the program is adopted by init (or a subreaper), never our child
}

// Starts exe detached: a middle process starts the program and ends at once; it is reaped here
// at once, so the program is no child of ours, leaves no zombie and needs no SIGCHLD handler.
Result spawnDetached(const QByteArray& exe, const QList<QByteArray>& args, const QByteArray& directory)
{
    std::vector<char*> argv;
    argv.reserve(size_t(args.size()) + 1);
    for (const QByteArray& a : args) argv.push_back(const_cast<char*>(a.constData()));
    argv.push_back(nullptr);

    struct rlimit lim {};
    const int maxFd = ::getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY && lim.rlim_cur < 65536
                          ? int(lim.rlim_cur)
                          : 65536;

    void* stacks = ::mmap(nullptr, 2 * childStack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (stacks == MAP_FAILED) return {OutOfMemory, 0};
    char* const base = static_cast<char*>(stacks);

    Spawn s{exe.constData(), argv.data(), directory.isEmpty() ? nullptr : directory.constData(),
            ::open("/dev/null", O_RDWR | O_CLOEXEC), maxFd, base + 2 * childStack, 0, 0, 0};

    sigset_t all, old;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &old);
    const pid_t middle = ::clone(runMiddle, base + childStack, CLONE_VM | CLONE_VFORK | SIGCHLD, &s);
    const int cloneError = errno;
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);

    if (middle > 0) {
        int status = 0;
        while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (s.devNull >= 0) ::close(s.devNull);
    ::munmap(stacks, 2 * childStack);

    if (middle < 0) return {cloneError == ENOMEM || cloneError == EAGAIN ? OutOfMemory : AccessDenied, 0};
    switch (s.failedStep) {
    case 0: return s.programPid > 0 ? Result{Ok, s.programPid} : Result{OutOfMemory, 0};
    case 'D': return {s.error == ENOENT || s.error == ENOTDIR ? PathNotFound : AccessDenied, 0};
    case 'F': return {OutOfMemory, 0};
    default: return {errorOf(s.error), 0};
    }
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
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    char buffer[256];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    QByteArray head(buffer, got > 0 ? got : 0);
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
    const QByteArray path = PathBytes::encode(name);

    struct stat st {};
    if (::stat(path.constData(), &st) != 0) return {statError(name, errno), 0};

    const QByteArray dir = PathBytes::encode(directory);
    QList<QByteArray> args;
    const auto withParameters = [&] {
        for (const QString& w : WindowsCommandLine::split(parameters)) args.append(PathBytes::encode(w));
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
