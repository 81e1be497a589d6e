#pragma once
// Runs the project's programs as a user would: Pravik on a copy of a landmark file, so that
// the coefficient file comes from the real fitting tool, and any program with its arguments.
// Shared by the viewer's tests and the benchmarks.

#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace pravikprocess
{
// Runs args[0] with the arguments after it and returns its exit status, or -1 when it did
// not exit normally (127: it could not be started).
inline int RunProgram(const std::vector<std::string>& args)
{
  const pid_t child = ::fork();
  if (child == 0)
  {
    std::vector<char*> argv;
    for (const auto& a : args)
    {
      argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Copies `landmarks` into `dir` as leg.dat, runs `pravik` on it with `radius`, and returns
// the path of the written dir/leg.trc, or an empty string when Pravik did not succeed.
inline std::string FitCopy(const std::string& pravik, const std::string& landmarks,
  const std::string& dir, const char* radius)
{
  const std::string dat = dir + "/leg.dat";
  {
    std::ifstream in(landmarks, std::ios::binary);
    std::ofstream out(dat, std::ios::binary);
    out << in.rdbuf();
  }
  return RunProgram({ pravik, dat, radius }) == 0 ? dir + "/leg.trc" : std::string();
}
}
