// Pravik on a million landmarks: it fits, and with too little memory it ends with the message
// of the allocation that failed, a non-zero status and no coefficient file, whatever the
// limit; every allocation failure path of the reader and the solver prints its own text.
#include "PravikRun.h"
#include "ReliabilityTesting.h"
#include "TransformFile.h"

#include <vtkPoints.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <sstream>

using namespace reliability;

namespace
{
constexpr int LandmarkCount = 1000000;

// What the fitting tool may print, as its last line, when memory runs out.
const char* const MemoryMessages[] = {
  "GetWellOderredList: Can not allocate result array!",
  "Not enough memory to allocate Diag",
  "Not enough memory to allocate Xenv",
  "allocation faliture for the matrix in allocate_matrix",
  "allocation faliture for the rows of matrix in allocate_matrix",
  "allocation faliture for the Fright_partX",
  "allocation faliture for the Fright_partY",
  "allocation faliture for the Fright_partZ",
  "allocation faliture for the FFF",
  "Not enough memory to allocate Env",
  "Not enogh memory to floatlocate Env",
  "allocation faliture for the SplineCoeff",
  // An allocation inside VTK (the point sets, the locator) that failed.
  "Not enough memory",
};

std::string LastLine(const std::string& text)
{
  const std::vector<std::string> lines = Lines(text);
  return lines.empty() ? std::string() : lines.back();
}

// The reader's own allocations report through VTK's error channel and make Read fail.
bool IsReaderMemoryFailure(const ChildRun& run)
{
  return run.Exited && run.Status == PravikReadFailed && run.Out == "Error!\n" &&
    run.Err.find("vtkDatReader") != std::string::npos &&
    run.Err.find("Not enough memory") != std::string::npos;
}

bool IsMemoryMessage(const std::string& line)
{
  return std::find_if(std::begin(MemoryMessages), std::end(MemoryMessages),
           [&](const char* m) { return line == m; }) != std::end(MemoryMessages);
}

// Shared by the tests of a suite: the landmark file is written once per test process.
class MillionLandmarks : public ::testing::Test
{
protected:
  static void SetUpTestSuite() { Directory = new ScratchDirectory; }
  static void TearDownTestSuite()
  {
    delete Directory;
    Directory = nullptr;
  }
  void TearDown() override { std::remove(Trc().c_str()); }

  // Written on first use: a test that is skipped does not pay for it.
  static std::string Dat()
  {
    const std::string path = Directory->File("helix.dat");
    if (!FileExists(path))
    {
      EXPECT_TRUE(WriteHelixLandmarks(path, LandmarkCount));
    }
    return path;
  }
  static std::string Trc() { return Directory->File("helix.trc"); }

  static ChildRun Fit(std::uint64_t limit)
  {
    ChildOptions options;
    options.AddressSpaceLimit = limit;
    options.TimeLimitSeconds = 600;
    return RunChild({ PRAVIK_EXECUTABLE, Dat(), HelixFitRadius }, options);
  }

  static ScratchDirectory* Directory;
};
ScratchDirectory* MillionLandmarks::Directory = nullptr;

// The spline of one axis at q, summed over every landmark (no locator, no ordering).
double EvaluateSpline(
  const TransformCoefficients& c, const std::vector<float>& coeff, const double q[3])
{
  const vtkIdType n = c.Points->GetNumberOfPoints();
  double s = coeff[n] + coeff[n + 1] * q[0] + coeff[n + 2] * q[1] + coeff[n + 3] * q[2];
  for (vtkIdType k = 0; k < n; ++k)
  {
    double p[3];
    c.Points->GetPoint(k, p);
    const double r = std::sqrt((p[0] - q[0]) * (p[0] - q[0]) + (p[1] - q[1]) * (p[1] - q[1]) +
      (p[2] - q[2]) * (p[2] - q[2]));
    if (r < c.Radius)
    {
      const double w = 1.0 - r / c.Radius;
      s += w * w * coeff[c.UnList[k]];
    }
  }
  return s;
}
}

//------------------------------------------------------------------------------
TEST_F(MillionLandmarks, FitsAndTheSplineInterpolatesTheLandmarks)
{
  const ChildRun run = Fit(0);
  ASSERT_TRUE(run.Exited && run.Status == PravikWritten) << run.Describe();
  const std::string text = ReadFile(Trc());
  EXPECT_EQ(text.find("nan"), std::string::npos);
  EXPECT_EQ(text.find("inf"), std::string::npos);

  TransformCoefficients c;
  const TransformFileResult read = ReadTransformCoefficients(Trc().c_str(), c);
  ASSERT_EQ(read.Status, TransformFileStatus::Ok) << read.Reason;
  ASSERT_EQ(c.Points->GetNumberOfPoints(), LandmarkCount);

  // Source minus target, computed here from the landmark file's own lines.
  const std::vector<std::string> lines = Lines(ReadFile(Dat()));
  ASSERT_EQ(lines.size(), static_cast<size_t>(LandmarkCount));
  for (int i : { 0, 1, 2, 4999, 250000, 500001, 777777, 999998, 999999 })
  {
    double v[6];
    ASSERT_EQ(std::sscanf(
                lines[i].c_str(), "%lf %lf %lf %lf %lf %lf", v, v + 1, v + 2, v + 3, v + 4, v + 5),
      6);
    const std::vector<float>* coeff[3] = { &c.CoeffX, &c.CoeffY, &c.CoeffZ };
    for (int axis = 0; axis < 3; ++axis)
    {
      const double expected =
        static_cast<double>(static_cast<float>(v[axis]) - static_cast<float>(v[axis + 3]));
      // The file's six decimals limit every coefficient to 5e-7.
      EXPECT_NEAR(EvaluateSpline(c, *coeff[axis], v), expected, 5e-6)
        << "landmark " << i << ", axis " << axis;
    }
  }
}

//------------------------------------------------------------------------------
namespace
{
using Reached = std::map<std::string, std::vector<std::uint64_t>>; // message -> limits in MiB

std::string Describe(const Reached& reached)
{
  std::ostringstream seen;
  for (const auto& r : reached)
  {
    seen << "  " << r.first << ": " << r.second.size() << " limits, " << r.second.front() << " to "
         << r.second.back() << " MiB\n";
  }
  return seen.str();
}

// Fits dat under address-space limits from the least in which the program starts upwards,
// one step at a time, until it fits: every run ends with a memory message, a non-zero status
// and no coefficient file, or fits all n landmarks. Returns the messages reached.
Reached SweepLimits(const std::string& dat, int n, std::uint64_t step)
{
  Reached reached;
  ScratchDirectory small;
  EXPECT_TRUE(WriteGridLandmarks(small.File("small.dat"), 3));
  std::uint64_t limit = StartingLimit({ PRAVIK_EXECUTABLE, small.File("small.dat"), "0.25" });
  EXPECT_GT(limit, 0u) << "the program does not even start with 1 GiB";
  const std::string trc = dat.substr(0, dat.size() - 4) + ".trc";
  const std::string header = "[0.002500]\n[" + std::to_string(n) + "]\n";
  for (; limit > 0; limit += step)
  {
    if (limit > 4096 * MiB)
    {
      ADD_FAILURE() << "no fit within 4 GiB";
      break;
    }
    ChildOptions options;
    options.AddressSpaceLimit = limit;
    options.TimeLimitSeconds = 600;
    std::remove(trc.c_str());
    const ChildRun run = RunChild({ PRAVIK_EXECUTABLE, dat, HelixFitRadius }, options);
    std::ostringstream at;
    at << "under a limit of " << static_cast<double>(limit) / MiB << " MiB: ";
    if (!run.Exited)
    {
      ADD_FAILURE() << at.str() << run.Describe();
      break;
    }
    if (run.Status == PravikWritten)
    {
      const std::string text = ReadFile(trc);
      EXPECT_EQ(text.rfind(header, 0), 0u) << at.str() << "not the whole landmark set";
      EXPECT_EQ(text.find("nan"), std::string::npos) << at.str();
      std::printf("Fitted from %.2f MiB on; messages reached:\n%s",
        static_cast<double>(limit) / MiB, Describe(reached).c_str());
      break;
    }
    EXPECT_FALSE(FileExists(trc)) << at.str() << "a coefficient file after a failed run";
    if (IsReaderMemoryFailure(run))
    {
      reached["vtkDatReader: Not enough memory"].push_back(limit / MiB);
      continue;
    }
    const std::string message = LastLine(run.Out);
    EXPECT_EQ(run.Status, PravikOutOfMemory) << at.str() << run.Describe();
    EXPECT_TRUE(IsMemoryMessage(message)) << at.str() << run.Describe();
    reached[message].push_back(limit / MiB);
  }
  std::remove(trc.c_str());
  return reached;
}
}

//------------------------------------------------------------------------------
// A million landmarks from the least address space in which the program starts up to the
// first limit under which they fit, in steps of 8 MiB.
TEST_F(MillionLandmarks, EveryLoweredAddressSpaceEndsCleanly)
{
  if (SanitizerBuild())
  {
    GTEST_SKIP() << "a sanitizer's shadow memory does not fit under an address-space limit";
  }
  const Reached reached = SweepLimits(Dat(), LandmarkCount, 8 * MiB);
  EXPECT_GE(reached.size(), 4u) << Describe(reached);
}

//------------------------------------------------------------------------------
// The same with 100,000 landmarks in steps of 1/4 MiB: the reader's and the solver's large
// blocks (40 KB a float per landmark and more) each fail under limits of their own.
TEST(HundredThousandLandmarks, EachLargeAllocationFailsUnderALimitOfItsOwn)
{
  if (SanitizerBuild())
  {
    GTEST_SKIP() << "a sanitizer's shadow memory does not fit under an address-space limit";
  }
  ScratchDirectory dir;
  ASSERT_TRUE(WriteHelixLandmarks(dir.File("helix.dat"), 100000));
  const Reached reached = SweepLimits(dir.File("helix.dat"), 100000, MiB / 4);
  for (const char* message : { "GetWellOderredList: Can not allocate result array!",
         "vtkDatReader: Not enough memory", "allocation faliture for the matrix in allocate_matrix",
         "allocation faliture for the rows of matrix in allocate_matrix",
         "Not enogh memory to floatlocate Env" })
  {
    EXPECT_TRUE(reached.count(message)) << message << " was not reached; reached:\n"
                                        << Describe(reached);
  }
}

//------------------------------------------------------------------------------
// The allocations that no limit reaches (blocks of 16 bytes, and blocks asked for after
// larger ones were released) are made to fail one at a time; the others too, for good measure.
TEST(PravikAllocationFailures, EachAllocationFailsWithItsOwnMessage)
{
  ScratchDirectory dir;
  // 1000 landmarks: one float per landmark is 4000 bytes, the envelope index 4004 and each
  // coefficient array 4016, which no other allocation of the run asks for.
  ASSERT_TRUE(WriteGridLandmarks(dir.File("grid.dat"), 10));
  const std::string trc = dir.File("grid.trc");
  auto run = [&](const std::string& failing)
  {
    std::remove(trc.c_str());
    ChildOptions options;
    if (!failing.empty())
    {
      options.Environment.push_back("QUORVEL_FAIL_NOTHROW_NEW=" + failing);
    }
    return RunChild({ PRAVIK_FAILING_ALLOCATION, dir.File("grid.dat"), "0.25" }, options);
  };

  // The switch itself changes nothing while it does not hit.
  for (const char* untouched : { "", "4000:99", "17:1" })
  {
    const ChildRun ok = run(untouched);
    EXPECT_TRUE(ok.Exited && ok.Status == PravikWritten) << untouched << ": " << ok.Describe();
    EXPECT_TRUE(FileExists(trc)) << untouched;
  }

  struct Case
  {
    const char* Failing;
    const char* Message; // null: the reader's own failure through VTK's error channel
  };
  const Case cases[] = {
    { "4000:1", "GetWellOderredList: Can not allocate result array!" }, // the ordering
    { "4000:2", "GetWellOderredList: Can not allocate result array!" }, // its work array
    { "4000:3", nullptr },                                              // UnList
    { "4000:4", nullptr },                                              // BX
    { "4000:5", nullptr },                                              // BY
    { "4000:6", nullptr },                                              // BZ
    { "4000:7", "Not enough memory to allocate Diag" },
    { "4004:1", "Not enough memory to allocate Xenv" },
    { "16:1", "allocation faliture for the Fright_partX" },
    { "16:2", "allocation faliture for the Fright_partY" },
    { "16:3", "allocation faliture for the Fright_partZ" },
    { "4000:8", "allocation faliture for the FFF" },
    { "4016:1", "allocation faliture for the SplineCoeff" },
    { "4016:2", "allocation faliture for the SplineCoeff" },
    { "4016:3", "allocation faliture for the SplineCoeff" },
  };
  for (const Case& c : cases)
  {
    const ChildRun failed = run(c.Failing);
    if (c.Message)
    {
      EXPECT_TRUE(failed.Exited && failed.Status == PravikOutOfMemory)
        << c.Failing << ": " << failed.Describe();
      EXPECT_EQ(LastLine(failed.Out), c.Message) << c.Failing << ": " << failed.Describe();
    }
    else
    {
      EXPECT_TRUE(IsReaderMemoryFailure(failed)) << c.Failing << ": " << failed.Describe();
    }
    EXPECT_FALSE(FileExists(trc)) << c.Failing << ": a coefficient file after a failed run";
  }
}
