// The transform coefficient file: the writer's bytes and the reader's acceptance rules.

#include "TransformFile.h"
#include "FileSizeLimit.h"
#include "FittingTestSupport.h"

#include <gtest/gtest.h>

#include <vtkNew.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>

#include <cmath>
#include <iterator>
#include <vector>

#include <unistd.h>

namespace
{
const char* const TwoLandmarks = "[25.000000]\n"
                                 "[2]\n"
                                 "10.000000 0.000000 5.500000\n"
                                 "12.250000 -3.000000 5.000000\n"
                                 "[6]\n"
                                 "0.500000 -0.250000 0.000000\n"
                                 "-0.500000 0.250000 0.000000\n"
                                 "1.000000 2.000000 3.000000\n"
                                 "0.100000 0.000000 0.000000\n"
                                 "0.000000 0.200000 0.000000\n"
                                 "0.000000 0.000000 -0.300000\n"
                                 "[2]\n"
                                 "1\n"
                                 "0\n";

struct Loaded
{
  TransformFileResult Result;
  TransformCoefficients Coefficients;
};

Loaded Load(const std::string& text)
{
  ScratchDir dir;
  const std::string path = dir.File("t.trc");
  WriteText(path, text);
  Loaded loaded;
  loaded.Result = ReadTransformCoefficients(path.c_str(), loaded.Coefficients);
  return loaded;
}

void ExpectTwoLandmarks(const Loaded& l)
{
  ASSERT_EQ(l.Result.Status, TransformFileStatus::Ok) << l.Result.Reason;
  const TransformCoefficients& c = l.Coefficients;
  EXPECT_EQ(c.Radius, 25.0f);
  ASSERT_EQ(c.Points->GetNumberOfPoints(), 2);
  double p[3];
  c.Points->GetPoint(1, p);
  EXPECT_EQ(p[0], 12.25);
  EXPECT_EQ(p[1], -3.0);
  ASSERT_EQ(c.CoeffX.size(), 6u);
  EXPECT_EQ(c.CoeffX[0], 0.5f);
  EXPECT_EQ(c.CoeffY[1], 0.25f);
  EXPECT_EQ(c.CoeffZ[5], -0.3f);
  EXPECT_EQ(c.UnList, (std::vector<int>{ 1, 0 }));
  ASSERT_NE(c.Locator, nullptr);
  const double at[3] = { 12.0, -3.0, 5.0 };
  EXPECT_EQ(c.Locator->FindClosestPoint(at), 1);
}

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return text.replace(at, from.size(), to);
}
}

TEST(TransformFileWriter, WritesTheLayoutByteForByte)
{
  vtkNew<vtkPoints> points;
  points->InsertNextPoint(10.0, 0.0, 5.5);
  points->InsertNextPoint(12.25, -3.0, 5.0);
  const float cx[] = { 0.5f, -0.5f, 1.0f, 0.1f, 0.0f, 0.0f };
  const float cy[] = { -0.25f, 0.25f, 2.0f, 0.0f, 0.2f, 0.0f };
  const float cz[] = { 0.0000004f, 0.0f, 3.0f, 0.0f, 0.0f, -0.3f };
  const int unList[] = { 1, 0 };
  ScratchDir dir;
  const std::string path = dir.File("out.trc");
  ASSERT_EQ(WriteTransformCoefficients(path.c_str(), 25.0f, points, cx, cy, cz, unList),
    TransformWriteStatus::Ok);
  // Six decimals where they keep the value; 0.0000004 needs its exponent.
  const std::string expected =
    Replace(TwoLandmarks, "0.500000 -0.250000 0.000000\n", "0.500000 -0.250000 4e-07\n");
  EXPECT_EQ(ReadText(path), expected);

  // Existing files are replaced whole.
  WriteText(path, std::string(5000, 'x'));
  ASSERT_EQ(WriteTransformCoefficients(path.c_str(), 25.0f, points, cx, cy, cz, unList),
    TransformWriteStatus::Ok);
  EXPECT_EQ(ReadText(path), expected);
}

TEST(TransformFileWriter, EveryValueReadsBackAsWritten)
{
  // Values of models in metres and in microns, far from the origin, negative, at the ends
  // of the float range, and ones six decimals already hold (written as before).
  struct Value
  {
    float Stored;
    const char* Text; // as written, where that is part of the case
  };
  const Value values[] = { { 0.002f, "0.002000" }, { 0.00031234f, "0.00031234" },
    { -0.000123456f, "-0.000123456" }, { 4.9e-7f, "4.9e-07" }, { 1e-7f, "1e-07" },
    { -2.5e-9f, "-2.5e-09" }, { 1.4e-45f, "1e-45" }, { 3.4e38f, nullptr }, { -1.25e30f, nullptr },
    { 123456.789f, "123456.789062" }, { 98765.4375f, "98765.437500" }, { 25.0f, "25.000000" },
    { -3.0f, "-3.000000" }, { 0.1f, "0.100000" }, { 1.0f / 3.0f, "0.33333334" },
    { 0.0f, "0.000000" }, { -0.0f, "-0.000000" } };
  const int n = static_cast<int>(std::size(values));
  vtkNew<vtkPoints> points; // float, as the fitting tool holds them
  std::vector<float> cx, cy, cz;
  std::vector<int> unList;
  for (int i = 0; i < n; ++i)
  {
    const float v = values[i].Stored;
    points->InsertNextPoint(v, -v, 1000.0 + v);
    unList.push_back(n - 1 - i);
  }
  for (int k = 0; k < n + 4; ++k)
  {
    const float v = values[k % n].Stored;
    cx.push_back(v);
    cy.push_back(-v);
    cz.push_back(v * 0.5f);
  }
  for (const Value& radius : values)
  {
    SCOPED_TRACE(radius.Stored);
    ScratchDir dir;
    const std::string path = dir.File("exact.trc");
    ASSERT_EQ(WriteTransformCoefficients(path.c_str(), radius.Stored, points, cx.data(), cy.data(),
                cz.data(), unList.data()),
      TransformWriteStatus::Ok);
    const std::string text = ReadText(path);
    if (radius.Text)
    {
      EXPECT_EQ(text.substr(0, text.find('\n')), "[" + std::string(radius.Text) + "]");
    }
    TransformCoefficients c;
    const TransformFileResult r = ReadTransformCoefficients(path.c_str(), c);
    ASSERT_EQ(r.Status, TransformFileStatus::Ok) << r.Reason;
    EXPECT_EQ(c.Radius, radius.Stored);
    EXPECT_EQ(std::signbit(c.Radius), std::signbit(radius.Stored));
    for (int i = 0; i < n; ++i)
    {
      double p[3];
      double q[3];
      points->GetPoint(i, q);
      c.Points->GetPoint(i, p);
      // Single-precision positions read back as the same single-precision values (the
      // reader keeps the text's value in double precision).
      const auto same = [](double a, double b)
      { return static_cast<float>(a) == static_cast<float>(b); };
      EXPECT_TRUE(same(p[0], q[0]) && same(p[1], q[1]) && same(p[2], q[2])) << "position " << i;
    }
    EXPECT_EQ(c.CoeffX, cx);
    EXPECT_EQ(c.CoeffY, cy);
    EXPECT_EQ(c.CoeffZ, cz);
    EXPECT_EQ(c.UnList, unList);
  }
}

TEST(TransformFileWriter, DoublePositionsAreWrittenAtTheirPrecision)
{
  vtkNew<vtkPoints> points;
  points->SetDataTypeToDouble();
  points->InsertNextPoint(-0.523452, 100000.000123, 1.0 / 3.0);
  const float c[] = { 0.0f, 0.0f, 0.0f, 0.0f, 0.0f };
  const int unList[] = { 0 };
  ScratchDir dir;
  const std::string path = dir.File("double.trc");
  ASSERT_EQ(WriteTransformCoefficients(path.c_str(), 1.0f, points, c, c, c, unList),
    TransformWriteStatus::Ok);
  EXPECT_NE(
    ReadText(path).find("\n-0.523452 100000.000123 0.3333333333333333\n"), std::string::npos)
    << ReadText(path);
}

TEST(TransformFileWriter, NoLandmarksWriteTheLinearPartAlone)
{
  vtkNew<vtkPoints> points;
  const float zero[] = { 0.0f, 0.0f, 0.0f, 0.0f };
  ScratchDir dir;
  const std::string path = dir.File("empty.trc");
  ASSERT_EQ(WriteTransformCoefficients(path.c_str(), 0.5f, points, zero, zero, zero, nullptr),
    TransformWriteStatus::Ok);
  const std::string expected = "[0.500000]\n[0]\n[4]\n0.000000 0.000000 0.000000\n"
                               "0.000000 0.000000 0.000000\n0.000000 0.000000 0.000000\n"
                               "0.000000 0.000000 0.000000\n[0]\n";
  EXPECT_EQ(ReadText(path), expected);
  TransformCoefficients c;
  const TransformFileResult r = ReadTransformCoefficients(path.c_str(), c);
  ASSERT_EQ(r.Status, TransformFileStatus::Ok) << r.Reason;
  EXPECT_EQ(c.Points->GetNumberOfPoints(), 0);
  EXPECT_EQ(c.CoeffX.size(), 4u);
  EXPECT_TRUE(c.UnList.empty());
}

TEST(TransformFileWriter, FailuresCreateOrLeaveNoFile)
{
  vtkNew<vtkPoints> points;
  points->InsertNextPoint(0.0, 0.0, 0.0);
  float cx[] = { 1.0f, 0.0f, 0.0f, 0.0f, 0.0f };
  const float cy[] = { 0.0f, 0.0f, 0.0f, 0.0f, 0.0f };
  const int unList[] = { 0 };
  ScratchDir dir;
  std::string reason;

  EXPECT_EQ(WriteTransformCoefficients(
              dir.File("no/such/dir.trc").c_str(), 1.0f, points, cx, cy, cy, unList, &reason),
    TransformWriteStatus::CannotOpen);
  EXPECT_FALSE(reason.empty());

  // A full disk: the writes fail, the earlier file stays as it was and nothing else is left.
  const std::string full = dir.File("full.trc");
  WriteText(full, "[1.000000]\n");
  {
    testsupport::FileSizeLimit limit(32);
    EXPECT_EQ(WriteTransformCoefficients(full.c_str(), 1.0f, points, cx, cy, cy, unList, &reason),
      TransformWriteStatus::WriteFailed);
  }
  EXPECT_NE(reason.find("File too large"), std::string::npos) << reason;
  EXPECT_NE(reason.find("is kept"), std::string::npos) << reason;
  EXPECT_EQ(ReadText(full), "[1.000000]\n");

  // A device is never written through a link, nor replaced.
  const std::string device = dir.File("device.trc");
  ASSERT_EQ(symlink("/dev/full", device.c_str()), 0);
  EXPECT_EQ(WriteTransformCoefficients(device.c_str(), 1.0f, points, cx, cy, cy, unList, &reason),
    TransformWriteStatus::CannotOpen);
  EXPECT_NE(reason.find("not a regular file"), std::string::npos) << reason;
  EXPECT_EQ(access(device.c_str(), F_OK), 0) << "the link stays";

  cx[4] = std::nanf("");
  const std::string nan = dir.File("nan.trc");
  EXPECT_EQ(WriteTransformCoefficients(nan.c_str(), 1.0f, points, cx, cy, cy, unList),
    TransformWriteStatus::NotFinite);
  EXPECT_FALSE(FileExists(nan));
  cx[4] = 0.0f;
  EXPECT_EQ(WriteTransformCoefficients(nan.c_str(), INFINITY, points, cx, cy, cy, unList),
    TransformWriteStatus::NotFinite);
  EXPECT_FALSE(FileExists(nan));
}

TEST(TransformFileReader, ReadsTheWrittenFormAndItsTolerantVariants)
{
  ExpectTwoLandmarks(Load(TwoLandmarks));

  std::string crlf;
  for (char c : std::string(TwoLandmarks))
  {
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  }
  ExpectTwoLandmarks(Load(crlf));

  std::string spaced = Replace(
    TwoLandmarks, "10.000000 0.000000 5.500000\n", "10.000000 \t  0.000000\t5.500000\n\n\n");
  spaced = Replace(spaced, "[6]\n", "[ 6]\n   ");
  spaced = Replace(spaced, "1\n0\n", "1 0");
  ExpectTwoLandmarks(Load(spaced));

  // Values may even run across line ends: formats see only white space.
  ExpectTwoLandmarks(
    Load(Replace(TwoLandmarks, "12.250000 -3.000000 5.000000\n", "12.25\n-3\n5e0\n")));

  ExpectTwoLandmarks(Load(std::string(TwoLandmarks) + "anything after the ordering\n[9]\n"));
}

TEST(TransformFileReader, RejectsMismatchesWithAReason)
{
  struct Case
  {
    const char* Name;
    std::string Text;
    const char* Reason; // a part of the reason
  };
  const std::string base = TwoLandmarks;
  const Case cases[] = {
    { "leading blank", " " + base, "line 1" },
    { "byte-order mark", "\xEF\xBB\xBF" + base, "line 1" },
    { "blank before ]", Replace(base, "[25.000000]", "[25.000000 ]"), "]" },
    { "coefficient count", Replace(base, "[6]", "[5]"), "coefficient count is 5, expected 6" },
    { "ordering count", Replace(base, "[2]\n1\n", "[3]\n1\n"), "ordering count is 3" },
    { "negative count", Replace(base, "[2]\n10", "[-2]\n10"), "negative" },
    { "count beyond int", Replace(base, "[2]\n10", "[99999999999]\n10"), "too large" },
    { "huge announced count", "[1.0]\n[2000000000]\n1 2 3\n", "landmark position 2 of 2000000000" },
    { "short coefficient row", Replace(base, "0.100000 0.000000 0.000000\n", "0.1 0\n"),
      "coefficient row" },
    { "entry out of range", Replace(base, "[2]\n1\n0\n", "[2]\n2\n0\n"), "outside 0 to 1" },
    { "negative entry", Replace(base, "[2]\n1\n0\n", "[2]\n-1\n0\n"), "outside 0 to 1" },
    { "not a permutation", Replace(base, "[2]\n1\n0\n", "[2]\n1\n1\n"), "not a permutation" },
    { "missing entry", Replace(base, "[2]\n1\n0\n", "[2]\n1\n"), "ordering entry 2 of 2" },
    { "nan coefficient", Replace(base, "0.500000 -0.250000", "nan -0.250000"), "not a finite" },
    { "infinite radius", Replace(base, "[25.000000]", "[inf]"), "not a finite" },
    { "overflowing position", Replace(base, "10.000000 0.000000", "1e39 0.000000"),
      "not a finite" },
    { "empty file", "", "line 1" },
  };
  for (const Case& c : cases)
  {
    const Loaded l = Load(c.Text);
    EXPECT_EQ(l.Result.Status, TransformFileStatus::Mismatch) << c.Name;
    EXPECT_NE(l.Result.Reason.find(c.Reason), std::string::npos)
      << c.Name << ": " << l.Result.Reason;
  }
}

TEST(TransformFileReader, ReasonNamesTheLine)
{
  const Loaded l = Load(Replace(TwoLandmarks, "[6]", "[7]"));
  EXPECT_EQ(l.Result.Reason.rfind("line 5:", 0), 0u) << l.Result.Reason;
}

TEST(TransformFileReader, FailureLeavesPreviousContentsAndUnopenableFileIsReported)
{
  ScratchDir dir;
  const std::string good = dir.File("good.trc");
  WriteText(good, TwoLandmarks);
  TransformCoefficients c;
  ASSERT_EQ(ReadTransformCoefficients(good.c_str(), c).Status, TransformFileStatus::Ok);
  vtkPoints* before = c.Points;

  const std::string bad = dir.File("bad.trc");
  WriteText(bad, Replace(TwoLandmarks, "[2]\n1\n0\n", "[2]\n0\n0\n"));
  EXPECT_EQ(ReadTransformCoefficients(bad.c_str(), c).Status, TransformFileStatus::Mismatch);
  EXPECT_EQ(c.Points.Get(), before);
  EXPECT_EQ(c.UnList, (std::vector<int>{ 1, 0 }));

  const TransformFileResult missing = ReadTransformCoefficients(dir.File("none.trc").c_str(), c);
  EXPECT_EQ(missing.Status, TransformFileStatus::CannotOpen);
  EXPECT_NE(missing.Reason.find("none.trc"), std::string::npos);
  EXPECT_EQ(c.Points.Get(), before);
}
