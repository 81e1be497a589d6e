#include "system.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <system_error>

//------------------------------------------------------------------------------
CWorkerThread::~CWorkerThread()
{
  this->Wait();
}

//------------------------------------------------------------------------------
bool CWorkerThread::Start(THREAD_START_ROUTINE procedure, void* parameter)
{
  if (!procedure || this->Thread.joinable())
  {
    return false;
  }
  try
  {
    this->ExitCode = 0;
    // The exit code is written by the thread and read only after the join, which orders
    // the two.
    this->Thread =
      std::thread([this, procedure, parameter] { this->ExitCode = procedure(parameter); });
  }
  catch (const std::system_error&)
  {
    return false;
  }
  return true;
}

//------------------------------------------------------------------------------
unsigned CWorkerThread::Wait()
{
  if (!this->Thread.joinable())
  {
    return 0;
  }
  this->Thread.join();
  return this->ExitCode;
}

//------------------------------------------------------------------------------
CManualResetEvent::CManualResetEvent(bool initiallySet)
  : Signalled(initiallySet)
{
}

//------------------------------------------------------------------------------
void CManualResetEvent::Set()
{
  {
    std::lock_guard<std::mutex> lock(this->Mutex);
    this->Signalled = true;
  }
  this->Changed.notify_all();
}

//------------------------------------------------------------------------------
void CManualResetEvent::Reset()
{
  std::lock_guard<std::mutex> lock(this->Mutex);
  this->Signalled = false;
}

//------------------------------------------------------------------------------
void CManualResetEvent::Wait()
{
  std::unique_lock<std::mutex> lock(this->Mutex);
  this->Changed.wait(lock, [this] { return this->Signalled; });
}

//------------------------------------------------------------------------------
bool CManualResetEvent::IsSet() const
{
  std::lock_guard<std::mutex> lock(this->Mutex);
  return this->Signalled;
}

//------------------------------------------------------------------------------
void Sleep(unsigned milliseconds)
{
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

//------------------------------------------------------------------------------
std::string GetTempPath()
{
  const char* fromEnvironment = std::getenv("TMPDIR");
  std::string path = (fromEnvironment && *fromEnvironment) ? fromEnvironment : "/tmp";
  if (path.back() != '/')
  {
    path += '/';
  }
  return path;
}

//------------------------------------------------------------------------------
bool CopyFile(const std::string& existingFile, const std::string& newFile, bool failIfExists)
{
  namespace fs = std::filesystem;
  std::error_code error;
  // Replacing a file by itself would first empty it: refuse, whatever the spelling of the
  // two paths.
  if (fs::equivalent(existingFile, newFile, error))
  {
    return false;
  }
  const fs::copy_options options =
    failIfExists ? fs::copy_options::none : fs::copy_options::overwrite_existing;
  error.clear();
  return fs::copy_file(existingFile, newFile, options, error) && !error;
}

//------------------------------------------------------------------------------
bool DeleteFile(const std::string& path)
{
  std::error_code error;
  return std::filesystem::remove(path, error) && !error;
}
