// A file-size limit standing in for a full disk: while the object lives, writes that would
// make a file larger than the limit fail with EFBIG (the signal they raise is ignored).
// Child processes started meanwhile inherit both.
#ifndef FileSizeLimit_h
#define FileSizeLimit_h

#include <csignal>

#include <sys/resource.h>

namespace testsupport
{
class FileSizeLimit
{
public:
  explicit FileSizeLimit(rlim_t bytes)
  {
    ::getrlimit(RLIMIT_FSIZE, &this->Saved);
    this->Previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = this->Saved;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit()
  {
    ::setrlimit(RLIMIT_FSIZE, &this->Saved);
    std::signal(SIGXFSZ, this->Previous);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
  rlimit Saved{};
  void (*Previous)(int) = nullptr;
};
}

#endif
