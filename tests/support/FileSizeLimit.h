#pragma once

// A disk that fills up, for one scope: no file this process writes grows past
// the given size. A write past it fails with EFBIG (SIGXFSZ is ignored, so it
// does not end the process); the old limit comes back at the end.
#include <csignal>
#include <sys/resource.h>

namespace cantrel::test {

class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old_);
        struct rlimit small = old_;
        small.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &old_); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    struct rlimit old_ {};
};

} // namespace cantrel::test
