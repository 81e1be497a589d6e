// Kernel services: worker threads, manual-reset events, critical sections, files.
#include "system.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
void GiveTime()
{
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

// A file in a private directory of the test program's.
std::string Scratch(const std::string& name)
{
  static const testsupport::TempDir dir("quorvel-system-");
  return dir.Path(name);
}

void Store(const std::string& path, const std::string& text)
{
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

struct Block
{
  int Input;
  std::thread::id RanOn;
};

unsigned Twice(void* parameter)
{
  auto* block = static_cast<Block*>(parameter);
  block->RanOn = std::this_thread::get_id();
  return static_cast<unsigned>(block->Input * 2);
}

CManualResetEvent* Gate = nullptr;
unsigned WaitAtGate(void*)
{
  Gate->Wait();
  return 7;
}
} // namespace

//------------------------------------------------------------------------------
TEST(WorkerThread, RunsTheProcedureWithItsParameterAndHandsBackTheExitCode)
{
  CWorkerThread thread;
  EXPECT_FALSE(thread.IsStarted());
  EXPECT_EQ(thread.Wait(), 0u);
  Block block{ 21, {} };
  ASSERT_TRUE(thread.Start(Twice, &block));
  EXPECT_TRUE(thread.IsStarted());
  EXPECT_EQ(thread.Wait(), 42u);
  EXPECT_FALSE(thread.IsStarted());
  EXPECT_NE(block.RanOn, std::this_thread::get_id());
  // The object can run another thread once the first was waited for.
  block.Input = 5;
  ASSERT_TRUE(thread.Start(Twice, &block));
  EXPECT_EQ(thread.Wait(), 10u);
}

//------------------------------------------------------------------------------
TEST(WorkerThread, RefusesToStartWithoutProcedureOrWhileRunning)
{
  CWorkerThread thread;
  EXPECT_FALSE(thread.Start(nullptr, nullptr));
  EXPECT_FALSE(thread.IsStarted());

  CManualResetEvent gate;
  Gate = &gate;
  ASSERT_TRUE(thread.Start(WaitAtGate, nullptr));
  Block block{ 1, {} };
  EXPECT_FALSE(thread.Start(Twice, &block)) << "a second thread replaced a running one";
  gate.Set();
  EXPECT_EQ(thread.Wait(), 7u);
  Gate = nullptr;
}

//------------------------------------------------------------------------------
TEST(WorkerThread, DestructionWaitsForTheThread)
{
  CManualResetEvent gate;
  Gate = &gate;
  std::atomic<bool> destroyed{ false };
  std::thread owner(
    [&]
    {
      CWorkerThread thread;
      ASSERT_TRUE(thread.Start(WaitAtGate, nullptr));
      // leaves scope without Wait
    });
  std::thread watcher(
    [&]
    {
      owner.join();
      destroyed = true;
    });
  GiveTime();
  EXPECT_FALSE(destroyed.load()) << "the owner went away while its thread still ran";
  gate.Set();
  watcher.join();
  EXPECT_TRUE(destroyed.load());
  Gate = nullptr;
}

//------------------------------------------------------------------------------
TEST(ManualResetEvent, StaysSetForEveryWaiterUntilReset)
{
  CManualResetEvent event;
  EXPECT_FALSE(event.IsSet());
  std::atomic<int> passed{ 0 };
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
  {
    waiters.emplace_back(
      [&]
      {
        event.Wait();
        ++passed;
      });
  }
  GiveTime();
  EXPECT_EQ(passed.load(), 0) << "a waiter passed a clear event";
  event.Set();
  for (auto& t : waiters)
  {
    t.join();
  }
  EXPECT_EQ(passed.load(), 3);
  EXPECT_TRUE(event.IsSet());
  event.Wait(); // still set: returns at once

  event.Reset();
  EXPECT_FALSE(event.IsSet());
  std::atomic<bool> late{ false };
  std::thread waiter(
    [&]
    {
      event.Wait();
      late = true;
    });
  GiveTime();
  EXPECT_FALSE(late.load()) << "Reset did not clear the event";
  event.Set();
  waiter.join();
  EXPECT_TRUE(late.load());

  CManualResetEvent initially(true);
  EXPECT_TRUE(initially.IsSet());
  initially.Wait();
}

//------------------------------------------------------------------------------
TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads)
{
  CCriticalSection section;
  section.Enter();
  section.Enter(); // the owner may enter again
  std::atomic<int> tried{ -1 };
  auto tryFromOtherThread = [&]
  {
    std::thread other(
      [&]
      {
        const bool entered = section.TryEnter();
        if (entered)
        {
          section.Leave();
        }
        tried = entered ? 1 : 0;
      });
    other.join();
    return tried.load();
  };
  EXPECT_EQ(tryFromOtherThread(), 0);
  section.Leave();
  EXPECT_EQ(tryFromOtherThread(), 0) << "one Leave released a section entered twice";
  section.Leave();
  EXPECT_EQ(tryFromOtherThread(), 1);
}

//------------------------------------------------------------------------------
TEST(CriticalSection, GuardedCounterLosesNoIncrement)
{
  CCriticalSection section;
  long counter = 0; // deliberately not atomic: the section alone protects it
  auto work = [&]
  {
    for (int i = 0; i < 50000; ++i)
    {
      CCriticalSectionLock hold(section);
      CCriticalSectionLock again(section);
      ++counter;
    }
  };
  std::thread a(work);
  std::thread b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 100000);
  EXPECT_TRUE(section.TryEnter()) << "a guard did not leave the section";
  section.Leave();
}

//------------------------------------------------------------------------------
TEST(Sleep, WaitsAtLeastTheGivenTime)
{
  const auto start = std::chrono::steady_clock::now();
  Sleep(30);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
  Sleep(0);
}

//------------------------------------------------------------------------------
TEST(TempPath, FollowsTmpdirAndEndsInASlash)
{
  const char* saved = std::getenv("TMPDIR");
  const std::string keep = saved ? saved : "";
  setenv("TMPDIR", "/var/scratch", 1);
  EXPECT_EQ(GetTempPath(), "/var/scratch/");
  setenv("TMPDIR", "/var/scratch/", 1);
  EXPECT_EQ(GetTempPath(), "/var/scratch/");
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(GetTempPath(), "/tmp/");
  unsetenv("TMPDIR");
  EXPECT_EQ(GetTempPath(), "/tmp/");
  if (saved)
  {
    setenv("TMPDIR", keep.c_str(), 1);
  }
}

//------------------------------------------------------------------------------
TEST(Files, DeleteRemovesAFileOnce)
{
  const std::string from = Scratch("from.csr");
  Store(from, "[1] 0 \nsecond line");
  EXPECT_TRUE(DeleteFile(from));
  EXPECT_FALSE(DeleteFile(from));
  EXPECT_FALSE(std::ifstream(from).good());
}
