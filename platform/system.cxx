#include "system.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
std::FILE* CreatePrivateTempFile(
  const std::string& parent, const std::string& name, std::string& path, std::string& reason)
{
  std::string pattern = parent + "Halden-XXXXXX";
  std::vector<char> directory(pattern.begin(), pattern.end());
  directory.push_back('\0');
  // mkdtemp makes the directory exclusively, with mode 0700: no other user can put a file
  // or a link into it.
  if (!::mkdtemp(directory.data()))
  {
    reason = pattern + ": " + std::strerror(errno);
    return nullptr;
  }
  const std::string file = std::string(directory.data()) + "/" + name;
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  std::FILE* stream = fd >= 0 ? ::fdopen(fd, "w") : nullptr;
  if (!stream)
  {
    reason = file + ": " + std::strerror(errno);
    if (fd >= 0)
    {
      ::close(fd);
      ::unlink(file.c_str());
    }
    ::rmdir(directory.data());
    return nullptr;
  }
  path = file;
  return stream;
}

//------------------------------------------------------------------------------
void DeletePrivateTempFile(const std::string& path)
{
  ::unlink(path.c_str());
  const auto slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0)
  {
    ::rmdir(path.substr(0, slash).c_str());
  }
}

//------------------------------------------------------------------------------
bool DeleteFile(const std::string& path)
{
  std::error_code error;
  return std::filesystem::remove(path, error) && !error;
}
