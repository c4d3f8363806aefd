// Looks at a file's time stamp every half millisecond until it is stopped (the end-to-end bench
// runs it beside each tool). The file systems here stamp a change from a fine clock only when
// the stamp was looked at since the last change, and from a clock that moves in 4 ms ticks
// otherwise: looked at this often, a file's last change is stamped within about half a
// millisecond, whether the tool that writes it ever looks at it or not. A process of its own,
// so that it takes nothing from the bench's work but a little processor time.
#include <csignal>
#include <cstdio>
#include <ctime>

#include <sys/stat.h>

namespace {
volatile std::sig_atomic_t stopped = 0;
void stop(int) { stopped = 1; }
}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    std::signal(SIGTERM, stop);
    std::signal(SIGINT, stop);
    const timespec rest{0, 500000};
    struct stat st;
    while (!stopped) {
        ::stat(argv[1], &st);
        ::nanosleep(&rest, nullptr);
    }
    return 0;
}
