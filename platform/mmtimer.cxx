#include "mmtimer.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace
{
using Clock = std::chrono::steady_clock;

struct TimerThread
{
  std::mutex Mutex;
  std::condition_variable Wake;
  bool StopRequested = false;
  std::thread Thread;

  // A timer never killed is released with the registry at exit, possibly by its own
  // thread: that thread is let go rather than joined.
  ~TimerThread()
  {
    if (this->Thread.joinable())
    {
      this->Thread.detach();
    }
  }
};

// Identifiers are never reused while the process runs, so a stale identifier can never
// kill somebody else's timer.
std::mutex RegistryMutex;
std::map<UINT, std::shared_ptr<TimerThread>> Registry;
UINT NextId = 1;

void Run(std::shared_ptr<TimerThread> timer, UINT id, UINT delay, LPTIMECALLBACK procedure,
  DWORD_PTR user, bool periodic)
{
  const auto period = std::chrono::milliseconds(delay);
  auto due = Clock::now() + period;
  std::unique_lock<std::mutex> lock(timer->Mutex);
  for (;;)
  {
    if (timer->Wake.wait_until(lock, due, [&] { return timer->StopRequested; }))
    {
      return;
    }
    lock.unlock();
    procedure(id, 0, user, 0, 0);
    lock.lock();
    if (!periodic)
    {
      return;
    }
    due += period;
    // A procedure that overran by more than a whole period does not earn a burst of
    // catch-up calls: the schedule restarts from now.
    const auto now = Clock::now();
    if (due + period < now)
    {
      due = now + period;
    }
  }
}
}

//------------------------------------------------------------------------------
UINT timeSetEvent(
  UINT delay, UINT /*resolution*/, LPTIMECALLBACK procedure, DWORD_PTR user, UINT eventType)
{
  if (delay == 0 || procedure == nullptr)
  {
    return 0;
  }
  auto timer = std::make_shared<TimerThread>();
  std::lock_guard<std::mutex> registryLock(RegistryMutex);
  const UINT id = NextId++;
  if (NextId == 0)
  {
    NextId = 1;
  }
  try
  {
    // The thread takes the registry lock nowhere, so starting it under the lock is safe;
    // holding the timer's own lock makes the thread wait until it is fully registered.
    std::lock_guard<std::mutex> timerLock(timer->Mutex);
    timer->Thread =
      std::thread(Run, timer, id, delay, procedure, user, (eventType & TIME_PERIODIC) != 0);
  }
  catch (const std::system_error&)
  {
    return 0;
  }
  Registry[id] = timer;
  return id;
}

//------------------------------------------------------------------------------
MMRESULT timeKillEvent(UINT timerId)
{
  std::shared_ptr<TimerThread> timer;
  {
    std::lock_guard<std::mutex> registryLock(RegistryMutex);
    auto it = Registry.find(timerId);
    if (it == Registry.end())
    {
      return MMSYSERR_INVALPARAM;
    }
    timer = it->second;
    Registry.erase(it);
  }
  {
    std::lock_guard<std::mutex> timerLock(timer->Mutex);
    timer->StopRequested = true;
  }
  timer->Wake.notify_all();
  if (timer->Thread.get_id() == std::this_thread::get_id())
  {
    timer->Thread.detach();
  }
  else if (timer->Thread.joinable())
  {
    timer->Thread.join();
  }
  return TIMERR_NOERROR;
}
