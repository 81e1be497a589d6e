// The multimedia timer: its fixed schedule, no catch-up bursts, that removal joins the
// thread, and that a procedure can stop its own timer.
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
  std::vector<Clock::time_point> Starts; // when each call began
  std::vector<Clock::time_point> Times;  // when each call ended
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
  const Clock::time_point begun = Clock::now();
  ticks->InProcedure = true;
  if (ticks->SleepMs > 0)
  {
    std::this_thread::sleep_for(std::chrono::milliseconds(ticks->SleepMs));
  }
  {
    std::lock_guard<std::mutex> lock(ticks->Mutex);
    ticks->Starts.push_back(begun);
    ticks->Times.push_back(Clock::now());
    ticks->Threads.push_back(std::this_thread::get_id());
  }
  ++ticks->Count;
  ticks->InProcedure = false;
  ticks->Changed.notify_all();
}
}

// Times are checked only where a loaded machine cannot break them: a tick never comes before
// it is due (the wait has no upper bound), and a procedure that takes most of the period
// leaves less than a period to the next tick, which a timer that waits a whole period after
// each call never does. The period itself is measured by the animation benchmarks.
TEST(MmTimer, KeepsAFixedScheduleOnItsOwnThread)
{
  Ticks ticks;
  ticks.SleepMs = 15; // of a 20 ms period
  const auto start = Clock::now();
  const UINT id =
    timeSetEvent(20, 3, Procedure, reinterpret_cast<DWORD_PTR>(&ticks), TIME_PERIODIC);
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(ticks.WaitForCount(26));
  EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);

  std::lock_guard<std::mutex> lock(ticks.Mutex);
  std::vector<double> waits; // from the end of one call to the start of the next
  for (size_t k = 0; k < 26; ++k)
  {
    EXPECT_GE(ticks.Starts[k], start + std::chrono::milliseconds(20 * (k + 1)))
      << "tick " << k << " came early";
    if (k > 0)
    {
      waits.push_back(
        std::chrono::duration<double, std::milli>(ticks.Starts[k] - ticks.Times[k - 1]).count());
    }
  }
  // A timer that waits 20 ms after each call has every wait at 20 ms or more.
  std::nth_element(waits.begin(), waits.begin() + 12, waits.end());
  EXPECT_LT(waits[12], 20.0) << "median of 25 waits between calls (ms)";
  for (const auto& t : ticks.Threads)
  {
    EXPECT_NE(t, std::this_thread::get_id());
  }
}

TEST(MmTimer, AProcedureThatOverrunsGetsNoBurstOfCalls)
{
  // Calls that take more than two periods: the schedule restarts from the end of each call
  // instead of calling again at once to catch up.
  Ticks ticks;
  ticks.SleepMs = 45;
  const UINT id =
    timeSetEvent(20, 1, Procedure, reinterpret_cast<DWORD_PTR>(&ticks), TIME_PERIODIC);
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(ticks.WaitForCount(6));
  EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
  std::lock_guard<std::mutex> lock(ticks.Mutex);
  for (size_t k = 1; k < 6; ++k)
  {
    EXPECT_GE(ticks.Starts[k], ticks.Times[k - 1] + std::chrono::milliseconds(20))
      << "call " << k << " came less than a period after the one before ended";
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
