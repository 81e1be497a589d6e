// Pravik with a switch that makes one chosen nothrow array allocation fail, for the failure
// paths that a lowered address-space limit cannot reach on its own: small blocks, and blocks
// requested after larger ones were released, come from memory the process already holds.
//
//   QUORVEL_FAIL_NOTHROW_NEW=<bytes>:<k>   the k-th new (std::nothrow) T[...] of exactly
//                                          <bytes> bytes returns null (k counts from 1)
//
// Every other allocation goes to the library's operator new[] as usual, so that memory is
// released through the matching delete[] (and seen so by AddressSanitizer).
#include "PravikRun.h"

#include <cstdlib>
#include <new>

namespace
{
struct FailingAllocation
{
  std::size_t Bytes = 0;
  long Occurrence = 0;
  long Seen = 0;
  bool Armed = false;

  FailingAllocation()
  {
    const char* setting = std::getenv("QUORVEL_FAIL_NOTHROW_NEW");
    if (!setting)
    {
      return;
    }
    char* end = nullptr;
    const unsigned long long bytes = std::strtoull(setting, &end, 10);
    if (end && *end == ':')
    {
      this->Bytes = static_cast<std::size_t>(bytes);
      this->Occurrence = std::strtol(end + 1, nullptr, 10);
      this->Armed = this->Occurrence > 0;
    }
  }

  bool Fails(std::size_t bytes)
  {
    return this->Armed && bytes == this->Bytes && ++this->Seen == this->Occurrence;
  }
};

FailingAllocation& Switch()
{
  static FailingAllocation failing;
  return failing;
}
}

void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept
{
  if (Switch().Fails(bytes))
  {
    return nullptr;
  }
  try
  {
    return ::operator new[](bytes);
  }
  catch (...)
  {
    return nullptr;
  }
}

int main(int argc, char* argv[])
{
  return PravikMain(argc, argv);
}
