#include "FuzzInput.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace fuzzinput
{
namespace
{
struct MemoryFile
{
  int Fd = -1;
  std::string Path;

  explicit MemoryFile(const char* name)
  {
    this->Fd = memfd_create(name, 0);
    if (this->Fd < 0)
    {
      std::perror("memfd_create");
      std::abort();
    }
    this->Path = "/proc/self/fd/" + std::to_string(this->Fd);
  }

  void Replace(const uint8_t* data, size_t size) const
  {
    if (ftruncate(this->Fd, 0) != 0)
    {
      std::abort();
    }
    size_t done = 0;
    while (done < size)
    {
      const ssize_t n = pwrite(this->Fd, data + done, size - done, static_cast<off_t>(done));
      if (n <= 0)
      {
        std::abort();
      }
      done += static_cast<size_t>(n);
    }
  }
};

MemoryFile& Input()
{
  static MemoryFile file("fuzz-input");
  return file;
}

MemoryFile& Scratch()
{
  static MemoryFile file("fuzz-scratch");
  return file;
}
}

void Store(const uint8_t* data, size_t size)
{
  Input().Replace(data, size);
}

const std::string& Path()
{
  return Input().Path;
}

std::FILE* Open()
{
  std::FILE* file = std::fopen(Input().Path.c_str(), "r");
  if (!file)
  {
    std::abort();
  }
  return file;
}

const std::string& ScratchPath()
{
  Scratch().Replace(nullptr, 0);
  return Scratch().Path;
}

void Check(bool condition, const char* what)
{
  if (!condition)
  {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
  }
}

void SilenceStandardOutput()
{
  if (!std::freopen("/dev/null", "w", stdout))
  {
    std::abort();
  }
}
}
