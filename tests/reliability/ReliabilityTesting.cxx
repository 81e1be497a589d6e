#include "ReliabilityTesting.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace reliability
{

//------------------------------------------------------------------------------
std::string ChildRun::Describe() const
{
  std::ostringstream s;
  if (this->TimedOut)
  {
    s << "timed out";
  }
  else if (this->Exited)
  {
    s << "exit status " << this->Status;
  }
  else
  {
    s << "signal " << this->Signal << " (" << strsignal(this->Signal) << ")";
  }
  s << "; stdout: [" << this->Out << "]; stderr: [" << this->Err.substr(0, 2000) << "]";
  return s.str();
}

//------------------------------------------------------------------------------
ChildRun RunChild(const std::vector<std::string>& argv, const ChildOptions& options)
{
  ChildRun run;
  char outName[] = "/tmp/reliability-out-XXXXXX";
  char errName[] = "/tmp/reliability-err-XXXXXX";
  const int outFd = mkstemp(outName);
  const int errFd = mkstemp(errName);
  if (outFd < 0 || errFd < 0 || argv.empty())
  {
    run.Err = "cannot start the child";
    return run;
  }
  // Everything the child needs is prepared before fork: after it, only async-signal-safe calls.
  std::vector<char*> args;
  for (const std::string& a : argv)
  {
    args.push_back(const_cast<char*>(a.c_str()));
  }
  args.push_back(nullptr);
  std::vector<char*> env;
  for (char** e = environ; *e; ++e)
  {
    env.push_back(*e);
  }
  for (const std::string& e : options.Environment)
  {
    env.push_back(const_cast<char*>(e.c_str()));
  }
  env.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0)
  {
    if (!options.WorkingDirectory.empty() && chdir(options.WorkingDirectory.c_str()) != 0)
    {
      _exit(126);
    }
    if (options.AddressSpaceLimit > 0)
    {
      struct rlimit limit;
      limit.rlim_cur = limit.rlim_max = options.AddressSpaceLimit;
      if (setrlimit(RLIMIT_AS, &limit) != 0)
      {
        _exit(125);
      }
    }
    // No core files from runs that are meant to end in a crash if the code is wrong.
    struct rlimit noCore = { 0, 0 };
    setrlimit(RLIMIT_CORE, &noCore);
    dup2(outFd, 1);
    dup2(errFd, 2);
    execve(args[0], args.data(), env.data());
    _exit(127);
  }
  if (pid < 0)
  {
    run.Err = std::string("fork failed: ") + std::strerror(errno);
  }
  else
  {
    const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(options.TimeLimitSeconds);
    int status = 0;
    for (;;)
    {
      const pid_t done = waitpid(pid, &status, WNOHANG);
      if (done == pid)
      {
        break;
      }
      if (std::chrono::steady_clock::now() > deadline)
      {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        run.TimedOut = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!run.TimedOut)
    {
      run.Exited = WIFEXITED(status);
      run.Status = run.Exited ? WEXITSTATUS(status) : -1;
      run.Signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
  }
  close(outFd);
  close(errFd);
  run.Out = ReadFile(outName);
  run.Err += ReadFile(errName);
  unlink(outName);
  unlink(errName);
  return run;
}

//------------------------------------------------------------------------------
std::uint64_t StartingLimit(const std::vector<std::string>& argv)
{
  for (std::uint64_t limit = 8 * MiB; limit <= 1024 * MiB; limit += 2 * MiB)
  {
    ChildOptions options;
    options.AddressSpaceLimit = limit;
    const ChildRun run = RunChild(argv, options);
    if (run.Exited && run.Status == 0)
    {
      return limit;
    }
  }
  return 0;
}

//------------------------------------------------------------------------------
ScratchDirectory::ScratchDirectory()
{
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/reliability-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()))
  {
    this->Root = buffer.data();
  }
}

//------------------------------------------------------------------------------
ScratchDirectory::~ScratchDirectory()
{
  if (!this->Root.empty())
  {
    const std::string command = "rm -rf '" + this->Root + "'";
    if (std::system(command.c_str()) != 0)
    {
      std::fprintf(stderr, "could not remove %s\n", this->Root.c_str());
    }
  }
}

//------------------------------------------------------------------------------
bool FileExists(const std::string& path)
{
  return access(path.c_str(), F_OK) == 0;
}

//------------------------------------------------------------------------------
std::string ReadFile(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

//------------------------------------------------------------------------------
void WriteFile(const std::string& path, const std::string& text)
{
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

//------------------------------------------------------------------------------
bool WriteHelixLandmarks(const std::string& path, int n)
{
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (!file)
  {
    return false;
  }
  const double pi = 3.14159265358979323846;
  bool ok = true;
  for (int i = 0; i < n && ok; ++i)
  {
    const double t = i * HelixStep / HelixRadius;
    const double x = HelixRadius * std::cos(t);
    const double y = HelixRadius * std::sin(t);
    const double z = HelixPitch * t / (2.0 * pi) - 0.5;
    ok = std::fprintf(file, "%.9g %.9g %.9g %.9g %.9g %.9g\n", x, y, z,
           x - 0.001 * std::sin(7.0 * z), y - 0.001 * std::cos(5.0 * x), z - 0.0005) > 0;
  }
  return std::fclose(file) == 0 && ok;
}

//------------------------------------------------------------------------------
bool WriteGridLandmarks(const std::string& path, int side)
{
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (!file)
  {
    return false;
  }
  bool ok = true;
  std::uint32_t state = 12345u;
  auto jitter = [&state]()
  {
    state = state * 1664525u + 1013904223u;
    return ((state >> 8) / 16777216.0 - 0.5) * 0.02;
  };
  for (int i = 0; i < side && ok; ++i)
  {
    for (int j = 0; j < side && ok; ++j)
    {
      for (int k = 0; k < side && ok; ++k)
      {
        const double x = 0.1 * i + jitter();
        const double y = 0.1 * j + jitter();
        const double z = 0.1 * k + jitter();
        ok = std::fprintf(file, "%.6f %.6f %.6f %.6f %.6f %.6f\n", x, y, z,
               x + 0.02 * std::sin(3.0 * y), y - 0.01 * std::cos(2.0 * z), z + 0.015 * x) > 0;
      }
    }
  }
  return std::fclose(file) == 0 && ok;
}

//------------------------------------------------------------------------------
std::vector<std::string> Lines(const std::string& text)
{
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
  {
    lines.push_back(line);
  }
  return lines;
}

} // namespace reliability
