/**
 * @file system.h
 * @brief Kernel services of the viewer's worker threads, over the C++ standard library.
 *
 * The viewer was laid out around the Win32 kernel: a worker thread is started with one
 * untyped parameter and waited for, threads hand over through manual-reset events, the
 * camera is guarded by a recursive critical section. This header gives those services the
 * same shape on any platform, so that code using them reads as it would against kernel32:
 *
 * | kernel32                                   | here                               |
 * |--------------------------------------------|------------------------------------|
 * | CreateThread + WaitForSingleObject         | CWorkerThread::Start / Wait        |
 * | CreateEvent (manual reset), Set/ResetEvent | CManualResetEvent                  |
 * | Enter/LeaveCriticalSection                 | CCriticalSection, CCriticalSectionLock |
 * | Sleep, GetTempPath, DeleteFile             | the functions of the same name     |
 * | GetTempFileName (made exclusively)         | CreatePrivateTempFile              |
 *
 * CopyFile has no stand-in: kernel32's copy overwrites its destination in place, so a
 * failure can leave it cut short. The viewer replaces a user's file only through the
 * product's ReplaceFile (deformation/), which writes a new file and renames it over the old.
 *
 * Nothing here knows about windows, models or Qt.
 */
#ifndef platform_system_h
#define platform_system_h

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

/// A thread procedure: one untyped parameter in, an exit code out.
using THREAD_START_ROUTINE = unsigned (*)(void* parameter);

/**
 * @class CWorkerThread
 * @brief One worker thread running a THREAD_START_ROUTINE, and the wait for its end.
 *
 * Start and Wait are called by the owning thread only. The destructor waits for a thread
 * that is still running, so a forgotten Wait cannot leave a thread behind.
 */
class CWorkerThread
{
public:
  CWorkerThread() = default;
  ~CWorkerThread();
  CWorkerThread(const CWorkerThread&) = delete;
  CWorkerThread& operator=(const CWorkerThread&) = delete;

  /// Runs procedure(parameter) on a new thread. False when there is no procedure, when a
  /// thread of this object has been started and not waited for, or when the system cannot
  /// start a thread; then the procedure never runs and the parameter stays the caller's.
  bool Start(THREAD_START_ROUTINE procedure, void* parameter);

  /// Waits without limit for the thread to end and returns its exit code; 0 when no
  /// thread is running. Afterwards the object can start another thread.
  unsigned Wait();

  /// True from a successful Start to the following Wait.
  bool IsStarted() const { return this->Thread.joinable(); }

private:
  std::thread Thread;
  unsigned ExitCode = 0;
};

/**
 * @class CManualResetEvent
 * @brief A signal that stays set until it is reset, like a Win32 manual-reset event.
 *
 * Set releases every waiter, present and future, until Reset. All operations may be called
 * from any thread.
 */
class CManualResetEvent
{
public:
  explicit CManualResetEvent(bool initiallySet = false);
  CManualResetEvent(const CManualResetEvent&) = delete;
  CManualResetEvent& operator=(const CManualResetEvent&) = delete;

  void Set();
  void Reset();
  /// Returns once the event is set (at once when it already is); no time limit.
  void Wait();
  bool IsSet() const;

private:
  mutable std::mutex Mutex;
  std::condition_variable Changed;
  bool Signalled;
};

/**
 * @class CCriticalSection
 * @brief A recursive lock: the owning thread may enter again and must leave as often.
 */
class CCriticalSection
{
public:
  CCriticalSection() = default;
  CCriticalSection(const CCriticalSection&) = delete;
  CCriticalSection& operator=(const CCriticalSection&) = delete;

  void Enter() { this->Mutex.lock(); }
  void Leave() { this->Mutex.unlock(); }
  /// Enters when no other thread holds the section; never waits.
  bool TryEnter() { return this->Mutex.try_lock(); }

private:
  std::recursive_mutex Mutex;
};

/// Holds a critical section for the lifetime of a scope.
class CCriticalSectionLock
{
public:
  explicit CCriticalSectionLock(CCriticalSection& section)
    : Section(section)
  {
    this->Section.Enter();
  }
  ~CCriticalSectionLock() { this->Section.Leave(); }
  CCriticalSectionLock(const CCriticalSectionLock&) = delete;
  CCriticalSectionLock& operator=(const CCriticalSectionLock&) = delete;

private:
  CCriticalSection& Section;
};

/// Suspends the calling thread for at least the given number of milliseconds.
void Sleep(unsigned milliseconds);

/// The directory for temporary files, ending in '/': $TMPDIR when it is set and not empty,
/// otherwise "/tmp/".
std::string GetTempPath();

/**
 * Creates a new file for writing in a new directory of its own under parent (a directory
 * ending in '/'): the directory is made with a unique name and opened to its owner alone,
 * the file is created inside it exclusively (an existing file or a symbolic link by that
 * name is never opened) and readable by its owner alone. On success path is the file's
 * path; on failure the result is null and reason says why.
 */
std::FILE* CreatePrivateTempFile(
  const std::string& parent, const std::string& name, std::string& path, std::string& reason);

/// Removes a file made by CreatePrivateTempFile and then its directory, if that is empty.
void DeletePrivateTempFile(const std::string& path);

/// Removes a file. True when it was removed.
bool DeleteFile(const std::string& path);

#endif
