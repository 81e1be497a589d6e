// pravik-warp's point lists, Jacobian determinants, points beyond every landmark's reach and
// the affine part everywhere, as a user runs them.
#include "FormatsTesting.h"
#include "ModelFile.h"
#include "NumberText.h"
#include "ReliabilityTesting.h"
#include "vtkShapeTransform.h"

#include <vtkDoubleArray.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <gtest/gtest.h>

#include <sstream>

using namespace reliability;

namespace
{
ChildRun Warp(const std::vector<std::string>& args)
{
  std::vector<std::string> argv{ PRAVIK_WARP };
  argv.insert(argv.end(), args.begin(), args.end());
  return RunChild(argv, ChildOptions{});
}

// The lines of a text, and each line's fields split at sep.
std::vector<std::vector<std::string>> Table(const std::string& text, char sep)
{
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line))
  {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    std::string cell;
    while (std::getline(cells, cell, sep))
    {
      fields.push_back(cell);
    }
    rows.push_back(fields);
  }
  return rows;
}

// The number just before what standard error says ("<n> of ..."); -1 when it is not said.
long long CountIn(const std::string& err, const std::string& says)
{
  const size_t at = err.find(says);
  if (at == std::string::npos || at < 2)
  {
    return -1;
  }
  size_t start = at - 1; // the blank before says
  while (start > 0 && NumberText::IsDigit(err[start - 1]))
  {
    --start;
  }
  return start == at - 1 ? -1 : std::stoll(err.substr(start, at - 1 - start));
}
}

TEST(PravikWarpPoints, PointListsKeepTheirLayoutAndTheNumbersReadBackExactly)
{
  ScratchDirectory dir;
  const std::string trc = dir.File("small.trc");
  formats::WriteSmallTransform(trc);
  vtkNew<vtkShapeTransform> transform;
  ASSERT_EQ(transform->LoadCoefficientFile(trc.c_str()), 1);
  transform->SetFactor(0.8f);

  struct Case
  {
    const char* Name;
    std::string Text;
    char Sep;
    const char* Header;
  };
  // Uneven values: tiny, large, many digits, some beyond every landmark's reach.
  const Case cases[] = {
    { "markers.csv", "name x,y,z\n0.1,0.2,0.3\n 1e-7 , -0.25,0.5\n\n0.3333333333333333,0.7,0.1\r\n",
      ',', "name x,y,z" },
    { "markers.xyz", "0.1 0.2 0.3\n1e-7\t-0.25  0.5\n123456.789 -98765.4321 0.5\n", ' ', nullptr },
    { "MARKERS.TXT", "x y z\n0.5 0.5 0.5\n", ' ', "x y z" },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.Name);
    const std::string in = dir.File(c.Name);
    WriteFile(in, c.Text);
    const std::string out = dir.File(std::string("out-") + c.Name);
    const ChildRun run = Warp({ trc, in, out, "0.8" });
    ASSERT_TRUE(run.Exited && run.Status == 0) << run.Describe();
    EXPECT_EQ(run.Out, "");

    auto output = Table(ReadFile(out), c.Sep);
    size_t row = 0;
    if (c.Header)
    {
      ASSERT_FALSE(output.empty());
      std::string header;
      for (size_t f = 0; f < output[0].size(); ++f)
      {
        header += (f ? std::string(1, c.Sep) : std::string()) + output[0][f];
      }
      EXPECT_EQ(header, c.Header);
      row = 1;
    }
    // Every input point, in order, moved as TransformPoint moves it, to the last bit.
    std::istringstream numbers(c.Text);
    std::string line;
    bool first = true;
    while (std::getline(numbers, line))
    {
      for (char& ch : line)
      {
        ch = (ch == ',' || ch == '\t' || ch == '\r') ? ' ' : ch;
      }
      std::istringstream fields(line);
      std::string a, b, z;
      if (!(fields >> a >> b >> z) || (first && c.Header))
      {
        first = false;
        continue;
      }
      first = false;
      const double x[3] = { NumberText::ToDouble(a.c_str()), NumberText::ToDouble(b.c_str()),
        NumberText::ToDouble(z.c_str()) };
      double y[3];
      transform->TransformPoint(x, y);
      ASSERT_LT(row, output.size());
      ASSERT_EQ(output[row].size(), 3u) << ReadFile(out);
      for (int k = 0; k < 3; ++k)
      {
        EXPECT_EQ(NumberText::ToDouble(output[row][k].c_str()), y[k]) << output[row][k];
      }
      ++row;
    }
    EXPECT_EQ(row, output.size());
  }
}

TEST(PravikWarpPoints, DamagedPointListsAreRefusedWithTheReason)
{
  ScratchDirectory dir;
  const std::string trc = dir.File("small.trc");
  formats::WriteSmallTransform(trc);
  const std::string out = dir.File("out.txt");
  struct Case
  {
    const char* Text;
    int Status;
    const char* Says;
  };
  const Case cases[] = {
    { "0.1 0.2 0.3\n0.4 0.5\n", 3, "line 2 holds 2 fields instead of three numbers" },
    { "0.1 0.2 0.3\n0.4 0.5 O.6\n", 3, "line 2: \"O.6\" is not a finite decimal number" },
    { "", 3, "it holds no points" },
    { "x y z\n\n", 3, "it holds no points" },
    { "0.1 0.2 0.3\n0.4,0.5,0.6\n", 3, "line 2 is separated by commas" },
    { "0.1 0.2 nan\n", 3, "\"nan\" is not a finite decimal number" },
    { "0.1 0.2 0x1p-1\n", 3, "\"0x1p-1\" is not a finite decimal number" },
    { "0.1,0.2,,0.3\n", 3, "line 1 holds 4 fields" },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.Text);
    const std::string in = dir.File("in.txt");
    WriteFile(in, c.Text);
    WriteFile(out, "an earlier file");
    const ChildRun run = Warp({ trc, in, out });
    ASSERT_TRUE(run.Exited) << run.Describe();
    EXPECT_EQ(run.Status, c.Status) << run.Err;
    EXPECT_NE(run.Err.find(c.Says), std::string::npos) << run.Err;
    EXPECT_EQ(ReadFile(out), "an earlier file");
  }
  // A point list does not become a model, nor a model a point list.
  WriteFile(dir.File("in.txt"), "0.1 0.2 0.3\n");
  const ChildRun mixed = Warp({ trc, dir.File("in.txt"), dir.File("out.vtk") });
  EXPECT_EQ(mixed.Status, 1) << mixed.Err;
  EXPECT_NE(mixed.Err.find("a point list"), std::string::npos) << mixed.Err;
}

TEST(PravikWarpPoints, JacobianReachAndTheAffinePartEverywhere)
{
  ScratchDirectory dir;
  const std::string trc = dir.File("small.trc");
  formats::WriteSmallTransform(trc);
  const std::string model = dir.File("small.vtp");
  std::string reason;
  ASSERT_TRUE(WriteModelFile(formats::SmallModel(), model, reason)) << reason;
  auto input = ReadModelFile(model, reason);
  ASSERT_TRUE(input) << reason;
  const vtkIdType n = input->GetNumberOfPoints();

  vtkNew<vtkShapeTransform> transform;
  ASSERT_EQ(transform->LoadCoefficientFile(trc.c_str()), 1);
  transform->SetFactor(1.0f);
  const vtkIdType beyond = transform->CountBeyondReach(input->GetPoints()->GetData());
  ASSERT_GT(beyond, 0); // the small spline leaves some of the model out of reach
  ASSERT_LT(beyond, n);

  // Without options: the count of points beyond reach, and they keep their place.
  const std::string out = dir.File("out.vtp");
  ChildRun run = Warp({ trc, model, out });
  ASSERT_TRUE(run.Exited && run.Status == 0) << run.Describe();
  EXPECT_EQ(CountIn(run.Err,
              "of " + std::to_string(n) +
                " points lie beyond every landmark's reach: they keep their place"),
    beyond)
    << run.Err;
  auto plain = ReadModelFile(out, reason);
  ASSERT_TRUE(plain) << reason;
  EXPECT_EQ(plain->GetPointData()->GetArray("JacobianDeterminant"), nullptr);

  // --jacobian: the array, equal to the library's, and the number of folds said.
  run = Warp({ "--jacobian", trc, model, out, "4" });
  ASSERT_TRUE(run.Exited && run.Status == 0) << run.Describe();
  auto withJacobian = ReadModelFile(out, reason);
  ASSERT_TRUE(withJacobian) << reason;
  vtkDataArray* det = withJacobian->GetPointData()->GetArray("JacobianDeterminant");
  ASSERT_NE(det, nullptr);
  transform->SetFactor(4.0f);
  vtkNew<vtkDoubleArray> expected;
  transform->JacobianDeterminants(input->GetPoints()->GetData(), expected);
  vtkIdType folds = 0;
  for (vtkIdType i = 0; i < n; ++i)
  {
    EXPECT_EQ(det->GetTuple1(i), expected->GetValue(i)) << "point " << i;
    folds += expected->GetValue(i) <= 0.0 ? 1 : 0;
  }
  EXPECT_EQ(CountIn(run.Err, "of " + std::to_string(n) + " points (Jacobian determinant 0"), folds)
    << run.Err;

  // --affine-everywhere: the points beyond reach move by the affine part.
  run = Warp({ "--affine-everywhere", trc, model, out });
  ASSERT_TRUE(run.Exited && run.Status == 0) << run.Describe();
  EXPECT_NE(run.Err.find("the affine part moves them"), std::string::npos) << run.Err;
  auto everywhere = ReadModelFile(out, reason);
  ASSERT_TRUE(everywhere) << reason;
  transform->SetFactor(1.0f);
  transform->AffineEverywhereOn();
  vtkIdType movedBeyond = 0;
  for (vtkIdType i = 0; i < n; ++i)
  {
    double x[3];
    double y[3];
    input->GetPoint(i, x);
    transform->TransformPoint(x, y);
    for (int a = 0; a < 3; ++a)
    {
      EXPECT_NEAR(everywhere->GetPoint(i)[a], y[a], 1e-6) << "point " << i;
    }
    const bool samePlain = plain->GetPoint(i)[0] == x[0] && plain->GetPoint(i)[1] == x[1] &&
      plain->GetPoint(i)[2] == x[2];
    movedBeyond += samePlain && (y[0] != x[0] || y[1] != x[1] || y[2] != x[2]) ? 1 : 0;
  }
  EXPECT_GE(movedBeyond, beyond);
}
