// A fitted spline as its coefficient file reads back, without the file: the same contents as
// writing and reading the file, for values single precision holds and values it does not; and
// the shortest text of a number shown to a person.
#include "NumberText.h"
#include "TempDir.h"
#include "TransformFile.h"

#include <gtest/gtest.h>

#include <vtkPointLocator.h>
#include <vtkPoints.h>

#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace
{
TransformCoefficients Spline(int n, bool doublePositions, bool constants, unsigned seed)
{
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> any(-3.0, 3.0);
  TransformCoefficients c;
  c.Radius = 0.3f;
  c.Points = vtkSmartPointer<vtkPoints>::New();
  c.Points->SetDataTypeToDouble();
  for (int i = 0; i < n; ++i)
  {
    double p[3];
    for (double& x : p)
    {
      // Positions as a landmark file read in single precision gives them, or finer ones.
      x = doublePositions ? 1.0e4 + any(random) : static_cast<float>(any(random));
    }
    c.Points->InsertNextPoint(p);
    c.UnList.push_back(n - 1 - i);
  }
  for (int k = 0; k < n + 4; ++k)
  {
    c.CoeffX.push_back(static_cast<float>(any(random) * 1e-3));
    c.CoeffY.push_back(static_cast<float>(any(random)));
    c.CoeffZ.push_back(static_cast<float>(any(random) * 1e5));
  }
  if (constants)
  {
    c.Constants = { any(random) * 1e4, any(random), any(random) * 1e-7 };
  }
  return c;
}

void ExpectSame(const TransformCoefficients& a, const TransformCoefficients& b, const char* name)
{
  EXPECT_EQ(a.Radius, b.Radius) << name;
  ASSERT_EQ(a.Points->GetNumberOfPoints(), b.Points->GetNumberOfPoints()) << name;
  for (vtkIdType i = 0; i < a.Points->GetNumberOfPoints(); ++i)
  {
    double p[3];
    double q[3];
    a.Points->GetPoint(i, p);
    b.Points->GetPoint(i, q);
    ASSERT_TRUE(p[0] == q[0] && p[1] == q[1] && p[2] == q[2]) << name << ", position " << i;
  }
  EXPECT_EQ(a.CoeffX, b.CoeffX) << name;
  EXPECT_EQ(a.CoeffY, b.CoeffY) << name;
  EXPECT_EQ(a.CoeffZ, b.CoeffZ) << name;
  EXPECT_EQ(a.Constants, b.Constants) << name;
  EXPECT_EQ(a.UnList, b.UnList) << name;
}
}

TEST(AsReadFromFile, HoldsWhatTheWrittenFileReadsBackAs)
{
  struct Case
  {
    const char* Name;
    TransformCoefficients Held;
  };
  const Case cases[] = {
    { "single-precision positions", Spline(40, false, false, 1) },
    { "double positions with constants", Spline(40, true, true, 2) },
    { "no landmarks", Spline(0, false, false, 3) },
  };
  testsupport::TempDir dir("as-read-");
  for (const Case& c : cases)
  {
    const std::string path = dir.Get() + "/t.trc";
    const double* constants = c.Held.Constants.empty() ? nullptr : c.Held.Constants.data();
    ASSERT_EQ(
      WriteTransformCoefficients(path.c_str(), c.Held.Radius, c.Held.Points, c.Held.CoeffX.data(),
        c.Held.CoeffY.data(), c.Held.CoeffZ.data(), c.Held.UnList.data(), nullptr, constants),
      TransformWriteStatus::Ok)
      << c.Name;
    TransformCoefficients read;
    ASSERT_EQ(ReadTransformCoefficients(path.c_str(), read).Status, TransformFileStatus::Ok);
    TransformCoefficients held;
    const TransformFileResult r = AsReadFromFile(c.Held, held);
    ASSERT_EQ(r.Status, TransformFileStatus::Ok) << c.Name << ": " << r.Reason;
    ExpectSame(held, read, c.Name);
    ASSERT_TRUE(held.Locator) << c.Name;
  }
}

TEST(AsReadFromFile, RefusesWhatNoFileCouldHold)
{
  TransformCoefficients shortRows = Spline(5, false, false, 4);
  shortRows.CoeffY.pop_back();
  TransformCoefficients notFinite = Spline(5, false, false, 5);
  notFinite.CoeffZ[2] = std::numeric_limits<float>::infinity();
  TransformCoefficients noPoints = Spline(5, false, false, 6);
  noPoints.Points = nullptr;
  for (const TransformCoefficients* bad : { &shortRows, &notFinite, &noPoints })
  {
    TransformCoefficients out = Spline(2, false, false, 7);
    const std::vector<float> before = out.CoeffX;
    const TransformFileResult r = AsReadFromFile(*bad, out);
    EXPECT_EQ(r.Status, TransformFileStatus::Mismatch);
    EXPECT_FALSE(r.Reason.empty());
    EXPECT_EQ(out.CoeffX, before);
  }
}

TEST(NumberText, AppendShortestDropsTrailingZerosOnly)
{
  const std::pair<double, const char*> cases[] = {
    { 0.35, "0.35" },
    { 12.0, "12" },
    { -0.5, "-0.5" },
    { 100.0, "100" },
    { 1.5e-7, "1.5e-07" },
    { 0.000123456791, "0.000123456791" },
  };
  for (const auto& c : cases)
  {
    std::string text;
    NumberText::AppendShortest(text, c.first);
    EXPECT_EQ(text, c.second);
    EXPECT_EQ(NumberText::ToDouble(text.c_str()), c.first) << text;
  }
}
