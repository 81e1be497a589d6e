// pravik-warp as a user runs it: each way of failing has its own exit status and a message on
// standard error, and leaves the output as it was (no partial file, nothing else beside it);
// the progress line appears on a terminal only, and only after a second.
#include "FormatsTesting.h"
#include "ModelFile.h"
#include "ProgressLine.h"
#include "ReliabilityTesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

using namespace reliability;

namespace
{
ChildRun Warp(const std::vector<std::string>& args)
{
  std::vector<std::string> argv{ PRAVIK_WARP };
  argv.insert(argv.end(), args.begin(), args.end());
  return RunChild(argv, ChildOptions{});
}

std::vector<std::string> Entries(const std::string& dir)
{
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str()))
  {
    while (dirent* e = ::readdir(d))
    {
      names.emplace_back(e->d_name);
    }
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}
}

//------------------------------------------------------------------------------
TEST(PravikWarp, EachFailureHasItsStatusAndMessageAndLeavesTheOutputAlone)
{
  ScratchDirectory dir;
  const std::string trc = dir.File("small.trc");
  formats::WriteSmallTransform(trc);
  const std::string model = dir.File("small.vtk");
  std::string reason;
  ASSERT_TRUE(WriteModelFile(formats::SmallModel(), model, reason)) << reason;
  WriteFile(dir.File("garbage.trc"), "[0.5]\n[3]\n1 2\n");
  WriteFile(dir.File("grid.vtk"),
    "# vtk DataFile Version 3.0\ng\nASCII\nDATASET UNSTRUCTURED_GRID\nPOINTS 1 float\n0 0 0\n");
  const std::string out = dir.File("out.vtp");

  struct Case
  {
    std::vector<std::string> Args;
    int Status;
    const char* Says; // on standard error
  };
  const Case cases[] = {
    { {}, 1, "Usage: pravik-warp <coefficients.trc> <model-in> <model-out> [factor]" },
    { { trc, model }, 1, "Usage" },
    { { trc, model, out, "1,5" }, 1, "\"1,5\" is not a finite number" },
    { { trc, model, out, "nan" }, 1, "not a finite number" },
    { { trc, model, out, "1", "2" }, 1, "Usage" },
    { { dir.File("missing.trc"), model, out }, 2, "missing.trc" },
    { { dir.File("garbage.trc"), model, out }, 2, "garbage.trc" },
    { { trc, dir.File("missing.vtk"), out }, 3, "missing.vtk" },
    { { trc, dir.File("grid.vtk"), out }, 3, "holds an unstructured grid" },
    { { trc, model, dir.File("nowhere/out.vtp") }, 4, "nowhere/out.vtp" },
    { { trc, model, model + "/out.vtp" }, 4, "Not a directory" },
  };
  for (const Case& c : cases)
  {
    std::string shown;
    for (const auto& a : c.Args)
    {
      shown += " " + a;
    }
    SCOPED_TRACE("pravik-warp" + shown);
    WriteFile(out, "an earlier file");
    const std::vector<std::string> before = Entries(dir.Path());
    const ChildRun run = Warp(c.Args);
    ASSERT_TRUE(run.Exited) << run.Describe();
    EXPECT_EQ(run.Status, c.Status) << run.Err;
    EXPECT_NE(run.Err.find(c.Says), std::string::npos) << run.Err;
    EXPECT_EQ(run.Out, "");
    EXPECT_EQ(ReadFile(out), "an earlier file");
    EXPECT_EQ(Entries(dir.Path()), before);
  }

  // Success replaces the output whole and says nothing.
  const ChildRun ok = Warp({ trc, model, out });
  EXPECT_TRUE(ok.Exited && ok.Status == 0) << ok.Describe();
  EXPECT_EQ(ok.Err, "");
  EXPECT_TRUE(ReadModelFile(out, reason)) << reason;

  const ChildRun help = Warp({ "--help" });
  EXPECT_TRUE(help.Exited && help.Status == 0);
  EXPECT_NE(help.Out.find("Usage: pravik-warp"), std::string::npos);
  EXPECT_NE(help.Out.find("4 the output cannot be written"), std::string::npos);
  const ChildRun version = Warp({ "--version" });
  EXPECT_TRUE(version.Exited && version.Status == 0);
  EXPECT_EQ(version.Out, "pravik-warp " QUORVEL_VERSION "\n");
}

//------------------------------------------------------------------------------
// The progress line, written to standard error (a pipe here): nothing in the first second,
// then the stage and the time on one line that is rewritten, and cleared at the end. Without
// a terminal (and not forced) nothing at all.
TEST(PravikWarp, ProgressLineShowsAfterASecondOnATerminalOnly)
{
  for (const bool terminal : { true, false })
  {
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    std::fflush(stderr);
    const int savedErr = ::dup(STDERR_FILENO);
    ::dup2(pipeEnds[1], STDERR_FILENO);
    {
      ProgressLine progress(terminal);
      progress.Stage("reading the model");
      std::this_thread::sleep_for(std::chrono::milliseconds(1600));
      progress.Stage("writing the model");
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
    }
    std::fflush(stderr);
    ::dup2(savedErr, STDERR_FILENO);
    ::close(savedErr);
    ::close(pipeEnds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof(buffer))) > 0;)
    {
      text.append(buffer, static_cast<size_t>(n));
    }
    ::close(pipeEnds[0]);
    if (!terminal)
    {
      EXPECT_EQ(text, "");
      continue;
    }
    EXPECT_EQ(text.rfind("\r\033[Kpravik-warp: reading the model... 1.", 0), 0u) << text;
    EXPECT_NE(text.find("\r\033[Kpravik-warp: writing the model... "), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 4), "\r\033[K") << text;
    EXPECT_EQ(text.find('\n'), std::string::npos) << text;
  }
}
