// Files whose size or announced counts are out of all proportion: the readers must neither
// trust an announced count for memory nor lose data when memory runs short.
#include "PravikRun.h"
#include "ReliabilityTesting.h"

#include <gtest/gtest.h>

using namespace reliability;

namespace
{
const char* const FourLandmarks = "0 0 0 0.1 0 0\n"
                                  "1 0 0 1 0.1 0\n"
                                  "0 1 0 0 1 0.1\n"
                                  "0 0 1 0.05 0.05 1\n";
const char* const FourMore = "1 1 1 1 1 1.1\n"
                             "2 0 0 2 0 0\n"
                             "0 2 0 0 2 0\n"
                             "0 0 2 0 0 2.1\n";
}

//------------------------------------------------------------------------------
// A line of 64 MiB that is not a landmark stands between two groups of landmarks. With room
// for it the line is skipped and all eight landmarks are fitted; without, the run fails
// instead of fitting the first four alone.
TEST(HostileLandmarkFile, HugeLineIsSkippedOrFailsTheRunButLosesNothing)
{
  ScratchDirectory dir;
  const std::string dat = dir.File("long.dat");
  const std::string trc = dir.File("long.trc");
  WriteFile(dat, std::string(FourLandmarks) + std::string(64 * MiB, 'x') + "\n" + FourMore);

  const ChildRun roomy = RunChild({ PRAVIK_EXECUTABLE, dat, "1.5" }, {});
  ASSERT_TRUE(roomy.Exited && roomy.Status == PravikWritten) << roomy.Describe();
  EXPECT_EQ(ReadFile(trc).rfind("[1.500000]\n[8]\n", 0), 0u);
  std::remove(trc.c_str());

  if (SanitizerBuild())
  {
    GTEST_SKIP() << "a sanitizer's shadow memory does not fit under an address-space limit";
  }
  WriteFile(dir.File("small.dat"), FourLandmarks);
  const std::uint64_t start = StartingLimit({ PRAVIK_EXECUTABLE, dir.File("small.dat"), "1.5" });
  ASSERT_GT(start, 0u);
  for (std::uint64_t extra : { 8 * MiB, 32 * MiB, 48 * MiB })
  {
    ChildOptions options;
    options.AddressSpaceLimit = start + extra;
    const ChildRun tight = RunChild({ PRAVIK_EXECUTABLE, dat, "1.5" }, options);
    EXPECT_TRUE(tight.Exited && tight.Status == PravikReadFailed) << tight.Describe();
    EXPECT_EQ(tight.Out, "Error!\n");
    EXPECT_NE(tight.Err.find("Not enough memory"), std::string::npos) << tight.Err;
    EXPECT_FALSE(FileExists(trc)) << "with " << extra / MiB << " MiB to spare";
  }
}

//------------------------------------------------------------------------------
// Counts announced far beyond what the file holds: refused at the first missing line, with
// no more memory than the file's own contents need (the limit leaves 64 MiB to spare, where
// the announced landmarks alone would take 32 GB).
TEST(HostileTransformFile, AnnouncedCountsAreNotTrustedForMemory)
{
  ScratchDirectory dir;
  WriteFile(dir.File("small.trc"), "[1.0]\n[0]\n[4]\n0 0 0\n0 0 0\n0 0 0\n0 0 0\n[0]\n");
  struct Case
  {
    const char* Name;
    std::string Text;
    const char* Reason; // a part of the reason
  };
  const Case cases[] = {
    { "two billion landmarks", "[1.0]\n[2000000000]\n1 2 3\n4 5 6\n", "of 2000000000" },
    { "largest int landmarks", "[1.0]\n[2147483647]\n1 2 3\n", "of 2147483647" },
    { "two billion coefficients", "[1.0]\n[0]\n[2000000004]\n0 0 0\n", "2000000004" },
    { "two billion ordering entries",
      "[1.0]\n[1]\n0 0 0\n[5]\n0 0 0\n0 0 0\n0 0 0\n0 0 0\n0 0 0\n[2000000000]\n0\n",
      "2000000000" },
  };
  const std::uint64_t start =
    SanitizerBuild() ? 0 : StartingLimit({ READ_TRANSFORM_PROBE, dir.File("small.trc") });
  ASSERT_TRUE(SanitizerBuild() || start > 0);
  for (const Case& c : cases)
  {
    const std::string path = dir.File("huge.trc");
    WriteFile(path, c.Text);
    ChildOptions options;
    options.AddressSpaceLimit = start > 0 ? start + 64 * MiB : 0;
    const ChildRun run = RunChild({ READ_TRANSFORM_PROBE, path }, options);
    ASSERT_TRUE(run.Exited && run.Status == 0) << c.Name << ": " << run.Describe();
    EXPECT_EQ(run.Out.rfind("Mismatch: ", 0), 0u) << c.Name << ": " << run.Out;
    EXPECT_NE(run.Out.find(c.Reason), std::string::npos) << c.Name << ": " << run.Out;
    EXPECT_EQ(run.Out.find("memory"), std::string::npos) << c.Name << ": " << run.Out;
  }
}
