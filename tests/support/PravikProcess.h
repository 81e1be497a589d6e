#pragma once
// Runs the Pravik executable on a copy of a landmark file, as a user would, so that the
// coefficient file comes from the real fitting tool. Shared by the viewer's tests and its
// animation benchmark.

#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace pravikprocess
{
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
  const pid_t child = ::fork();
  if (child == 0)
  {
    ::execl(pravik.c_str(), pravik.c_str(), dat.c_str(), radius, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? dir + "/leg.trc" : std::string();
}
}
