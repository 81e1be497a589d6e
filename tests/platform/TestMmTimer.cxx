// The multimedia timer: its fixed schedule, that removal joins the thread, and that a
// procedure can stop its own timer.
#include "mmtimer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;

struct Ticks
{
  std::mutex Mutex;
  std::condition_variable Changed;
  std::vector<Clock::time_point> Times;
  std::vector<std::thread::id> Threads;
  std::atomic<bool> InProcedure{ false };
  std::atomic<int> Count{ 0 };
  int SleepMs = 0;

  bool WaitForCount(std::size_t n, std::chrono::seconds deadline = std::chrono::seconds(30))
  {
    std::unique_lock<std::mutex> lock(this->Mutex);
    return this->Changed.wait_for(lock, deadline, [&] { return this->Times.size() >= n; });
  }
};

void Procedure(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR)
{
  auto* ticks = reinterpret_cast<Ticks*>(user);
  ticks->InProcedure = true;
  if (ticks->SleepMs > 0)
  {
    std::this_thread::sleep_for(std::chrono::milliseconds(ticks->SleepMs));
  }
  {
    std::lock_guard<std::mutex> lock(ticks->Mutex);
    ticks->Times.push_back(Clock::now());
    ticks->Threads.push_back(std::this_thread::get_id());
  }
  ++ticks->Count;
  ticks->InProcedure = false;
  ticks->Changed.notify_all();
}
}

TEST(MmTimer, KeepsItsPeriodOnAverageOnItsOwnThread)
{
  Ticks ticks;
  const auto start = Clock::now();
  const UINT id =
    timeSetEvent(20, 3, Procedure, reinterpret_cast<DWORD_PTR>(&ticks), TIME_PERIODIC);
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(ticks.WaitForCount(26));
  EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);

  std::lock_guard<std::mutex> lock(ticks.Mutex);
  // Tick k is due at start + 20(k+1) ms at the earliest, and most intervals are the period: a
  // tick delayed by a busy machine shortens the next interval instead of shifting the rest
  // (another period, or a schedule that drifts, moves the median).
  std::vector<double> intervals;
  for (size_t k = 0; k < 26; ++k)
  {
    EXPECT_GE(ticks.Times[k], start + std::chrono::milliseconds(20 * (k + 1)))
      << "tick " << k << " came early";
    if (k > 0)
    {
      intervals.push_back(
        std::chrono::duration<double, std::milli>(ticks.Times[k] - ticks.Times[k - 1]).count());
    }
  }
  std::nth_element(intervals.begin(), intervals.begin() + 12, intervals.end());
  EXPECT_NEAR(intervals[12], 20.0, 2.0) << "median of 25 intervals (ms)";
  for (const auto& t : ticks.Threads)
  {
    EXPECT_NE(t, std::this_thread::get_id());
  }
}

TEST(MmTimer, KillJoinsTheThreadSoTheProcedureNeverRunsAfterIt)
{
  Ticks ticks;
  ticks.SleepMs = 30; // the kill is likely to find the procedure running
  const UINT id = timeSetEvent(5, 1, Procedure, reinterpret_cast<DWORD_PTR>(&ticks), TIME_PERIODIC);
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(ticks.WaitForCount(2));
  EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
  EXPECT_FALSE(ticks.InProcedure.load());
  const int after = ticks.Count.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(ticks.Count.load(), after);
  // The identifier is gone.
  EXPECT_EQ(timeKillEvent(id), MMSYSERR_INVALPARAM);
}

TEST(MmTimer, RefusesWhatCannotRun)
{
  Ticks ticks;
  EXPECT_EQ(timeSetEvent(0, 1, Procedure, 0, TIME_PERIODIC), 0u);
  EXPECT_EQ(timeSetEvent(10, 1, nullptr, 0, TIME_PERIODIC), 0u);
  EXPECT_EQ(timeKillEvent(0), MMSYSERR_INVALPARAM);
  EXPECT_EQ(timeKillEvent(123456789u), MMSYSERR_INVALPARAM);
}

namespace
{
struct SelfKill
{
  std::atomic<UINT> Id{ 0 };
  std::atomic<int> Calls{ 0 };
  std::atomic<MMRESULT> Result{ 99 };
};

void KillItself(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR)
{
  auto* s = reinterpret_cast<SelfKill*>(user);
  if (++s->Calls == 1)
  {
    s->Result = timeKillEvent(id);
  }
}
}

TEST(MmTimer, AProcedureCanStopItsOwnTimer)
{
  SelfKill s;
  const UINT id = timeSetEvent(5, 1, KillItself, reinterpret_cast<DWORD_PTR>(&s), TIME_PERIODIC);
  ASSERT_NE(id, 0u);
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (s.Calls.load() == 0 && Clock::now() < deadline)
  {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(s.Calls.load(), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(s.Calls.load(), 1) << "no tick after the timer stopped itself";
  EXPECT_EQ(s.Result.load(), TIMERR_NOERROR);
}

TEST(MmTimer, OneShotRunsOnce)
{
  Ticks ticks;
  const UINT id = timeSetEvent(10, 1, Procedure, reinterpret_cast<DWORD_PTR>(&ticks), TIME_ONESHOT);
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(ticks.WaitForCount(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(ticks.Count.load(), 1);
  EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
}
