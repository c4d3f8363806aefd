#pragma once

#include <csignal>

#include <sys/resource.h>

// While it lives, no file of this process may grow beyond `bytes`: writes past it fail (as on a
// full disk) instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limited = old_;
        limited.rlim_cur = bytes;
        ok_ = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool ok() const { return ok_; }

private:
    struct rlimit old_ {};
    void (*oldHandler_)(int) = nullptr;
    bool ok_ = false;
};
