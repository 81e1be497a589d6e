// Helpers shared by the camera record tests.
#ifndef RecordTestUtils_h
#define RecordTestUtils_h

#include "CameraStatus.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace recordtest
{

// A record that counts how many of its kind are alive, to prove that queues and threads
// delete every record they are given. Id tells records apart in deletion order.
class CountedStatus : public CameraStatus
{
public:
  CountedStatus(CCriticalSection& lock, int id = 0)
    : CameraStatus(lock)
    , Id(id)
  {
    ++Live;
  }
  ~CountedStatus() override
  {
    --Live;
    if (OnDelete)
    {
      OnDelete(this->Id);
    }
  }
  int Id;
  static std::atomic<int> Live;
  static std::function<void(int)> OnDelete;
};

// A file name of its own for each test, in a private directory of the test program's.
inline std::string TempFile(const std::string& name)
{
  static const testsupport::TempDir dir("quorvel-records-");
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return dir.Path(std::string(info->test_suite_name()) + "_" + info->name() + "_" + name);
}

inline std::string ReadAll(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void WriteAll(const std::string& path, const std::string& text)
{
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// Waits for a condition that another thread makes true; false after a generous deadline.
inline bool WaitFor(const std::function<bool()>& condition, int seconds = 20)
{
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!condition())
  {
    if (std::chrono::steady_clock::now() > deadline)
    {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Gives another thread time to do something it must not do (such as return from a
// blocking call). Only ever followed by a check that the thing did not happen.
inline void GiveTime()
{
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

} // namespace recordtest

#endif
