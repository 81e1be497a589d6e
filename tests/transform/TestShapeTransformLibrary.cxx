// What a library user reaches through vtkAbstractTransform: single points, derivatives, the
// inverse, copies, parameters from a coefficient file, and filters that use them. Every
// result is checked against the brute-force evaluation of the displacement.
#include "ShapeTransformTesting.h"
#include "TempDir.h"
#include "vtkShapeTransform.h"

#include "TransformFile.h"

#include "vtkCellType.h"
#include "vtkMath.h"
#include "vtkNew.h"
#include "vtkTransformFilter.h"
#include "vtkUnstructuredGrid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <unistd.h>

using namespace shape_testing;

namespace
{
// x - factor * d(x) by the reference, and how far a double-precision result may be from it.
void ReferenceForward(const Spline& s, const double x[3], double factor, double y[3], double tol[3])
{
  const Displacement d = ReferenceDisplacement(s, x);
  for (int a = 0; a < 3; ++a)
  {
    y[a] = static_cast<double>(x[a] - factor * d.D[a]);
    tol[a] =
      1e-14 * static_cast<double>(std::fabs(x[a]) + std::fabs(factor) * d.Magnitude[a]) + 1e-300;
  }
}

// A spline gentle enough (|Factor * grad d| well below 1 for |Factor| <= 1) to be invertible.
Spline GentleSpline(unsigned seed)
{
  return RandomSpline(150, 0.3f, seed, 0.0, 1.0, 0.01);
}

double Distance(const double a[3], const double b[3])
{
  return std::sqrt(vtkMath::Distance2BetweenPoints(a, b));
}
}

TEST(ShapeTransformLibrary, SinglePointsGetThePointSetDisplacementWithoutTheCache)
{
  Spline s = RandomSpline(150, 0.25f, 301, 0.0, 1.0, 0.5);
  auto in = RandomPoints(400, 302, -0.2, 1.2); // some out of every landmark's reach
  vtkNew<ProbedTransform> transform;
  s.HandTo(transform);
  const float t = 0.7f;
  transform->SetFactor(t);

  // Before any point set: single points leave the cache empty.
  double probe[3] = { 0.5, 0.5, 0.5 };
  transform->TransformPoint(probe, probe);
  EXPECT_FALSE(transform->IsCached());

  auto first = Evaluate(transform, in);
  ASSERT_TRUE(transform->IsCached());
  const long queries = transform->Searches();
  for (vtkIdType i = 0; i < in->GetNumberOfPoints(); ++i)
  {
    double x[3];
    in->GetPoint(i, x);
    double y[3];
    double expected[3];
    double tol[3];
    transform->TransformPoint(x, y);
    ReferenceForward(s, x, t, expected, tol);
    const float xf[3] = { static_cast<float>(x[0]), static_cast<float>(x[1]),
      static_cast<float>(x[2]) };
    float yf[3];
    transform->TransformPoint(xf, yf);
    for (int a = 0; a < 3; ++a)
    {
      EXPECT_NEAR(y[a], expected[a], tol[a]) << "point " << i;
      // The same sums as the evaluation that filled the cache, rounded once.
      EXPECT_EQ(yf[a], static_cast<float>(first->GetPoint(i)[a])) << "point " << i;
    }
  }
  EXPECT_EQ(transform->Searches(), queries + 2 * in->GetNumberOfPoints());
  // The cache is still the point set's: the next evaluation makes no query.
  auto again = Evaluate(transform, in);
  EXPECT_EQ(transform->Searches(), queries + 2 * in->GetNumberOfPoints());
  EXPECT_LE(WorstDeviation(s, in, again, t, true), 1.0);
}

TEST(ShapeTransformLibrary, DerivativeIsTheJacobianOfTheDisplacement)
{
  Spline s = RandomSpline(150, 0.25f, 311, 0.0, 1.0, 0.5);
  auto in = RandomPoints(300, 312, 0.05, 0.95);
  vtkNew<vtkShapeTransform> transform;
  s.HandTo(transform);
  const float t = 0.6f;
  transform->SetFactor(t);
  transform->Update(); // the Internal... calls below do not update
  const double h = 1e-5;
  int checked = 0;
  for (vtkIdType i = 0; i < in->GetNumberOfPoints(); ++i)
  {
    double x[3];
    in->GetPoint(i, x);
    // Central differences of the reference in long double, where they are meaningful: all
    // six samples see a landmark (the affine part is on), none lies at a kernel's tip.
    long double diff[3][3];
    bool smooth = true;
    for (int b = 0; b < 3 && smooth; ++b)
    {
      double plus[3] = { x[0], x[1], x[2] };
      double minus[3] = { x[0], x[1], x[2] };
      plus[b] += h;
      minus[b] -= h;
      const Displacement dp = ReferenceDisplacement(s, plus);
      const Displacement dm = ReferenceDisplacement(s, minus);
      smooth = dp.Neighbors > 0 && dp.Neighbors == dm.Neighbors;
      for (int a = 0; a < 3; ++a)
      {
        diff[a][b] = (dp.D[a] - dm.D[a]) / (plus[b] - minus[b]);
      }
    }
    for (vtkIdType k = 0; k < s.N() && smooth; ++k)
    {
      smooth = Distance(x, s.Points->GetPoint(k)) > 100 * h;
    }
    if (!smooth)
    {
      continue;
    }
    ++checked;
    double y[3];
    double jacobian[3][3];
    transform->InternalTransformDerivative(x, y, jacobian);
    double expected[3];
    double tol[3];
    ReferenceForward(s, x, t, expected, tol);
    float xf[3] = { static_cast<float>(x[0]), static_cast<float>(x[1]), static_cast<float>(x[2]) };
    float yf[3];
    float jf[3][3];
    transform->InternalTransformDerivative(xf, yf, jf);
    for (int a = 0; a < 3; ++a)
    {
      EXPECT_NEAR(y[a], expected[a], tol[a]) << "point " << i;
      for (int b = 0; b < 3; ++b)
      {
        const double want = (a == b ? 1.0 : 0.0) - t * static_cast<double>(diff[a][b]);
        EXPECT_NEAR(jacobian[a][b], want, 1e-6 * (1.0 + std::fabs(want)))
          << "point " << i << " entry " << a << b;
        EXPECT_EQ(jf[a][b], static_cast<float>(jacobian[a][b]));
      }
    }
  }
  EXPECT_GT(checked, 250);
}

TEST(ShapeTransformLibrary, InverseUndoesTheTransform)
{
  Spline s = GentleSpline(321);
  auto in = RandomPoints(300, 322, 0.05, 0.95);
  vtkNew<vtkShapeTransform> transform;
  s.HandTo(transform);
  transform->SetInverseTolerance(1e-10);
  vtkAbstractTransform* inverse = transform->GetInverse();
  ASSERT_TRUE(inverse->IsA("vtkShapeTransform"));
  EXPECT_EQ(inverse->GetInverse(), transform.GetPointer());
  auto reports = Watch(inverse);
  for (float t : { 0.5f, 1.0f, -1.0f })
  {
    // The inverse follows the factor of the transform it was made from (at its update; the
    // Internal... calls below do not update).
    transform->SetFactor(t);
    inverse->Update();
    double worst = 0.0;
    for (vtkIdType i = 0; i < in->GetNumberOfPoints(); ++i)
    {
      double x[3];
      in->GetPoint(i, x);
      double y[3];
      double tol[3];
      ReferenceForward(s, x, t, y, tol);
      double back[3];
      double jacobian[3][3];
      inverse->InternalTransformDerivative(y, back, jacobian);
      worst = std::max(worst, Distance(back, x));
      // The inverse's derivative inverts the forward one.
      double forward[3][3];
      double unused[3];
      transform->InternalTransformDerivative(back, unused, forward);
      double product[3][3];
      vtkMath::Multiply3x3(jacobian, forward, product);
      for (int a = 0; a < 3; ++a)
      {
        for (int b = 0; b < 3; ++b)
        {
          EXPECT_NEAR(product[a][b], a == b ? 1.0 : 0.0, 1e-12) << "point " << i;
        }
      }
    }
    EXPECT_LT(worst, 1e-9) << "factor " << t;
  }
  EXPECT_EQ(reports->Warnings, 0);
}

TEST(ShapeTransformLibrary, InverseWarnsWhereNoPointMapsThere)
{
  // One landmark at the origin, R = 1, displacement (5, 0, 0) within reach: at Factor 1 the
  // unit ball moves to x = -5 and the points around it stay, so nothing lands near the origin.
  Spline s;
  s.Points->InsertNextPoint(0.0, 0.0, 0.0);
  s.X = { 0.0f, 5.0f, 0.0f, 0.0f, 0.0f };
  s.Y = { 0.0f, 0.0f, 0.0f, 0.0f, 0.0f };
  s.Z = s.Y;
  s.UnList = { 0 };
  s.BuildLocator();
  vtkNew<vtkShapeTransform> transform;
  s.HandTo(transform);
  transform->SetFactor(1.0f);
  vtkAbstractTransform* inverse = transform->GetInverse();
  auto reports = Watch(inverse);

  double y[3] = { 0.25, 0.0, 0.0 };
  double x[3];
  inverse->TransformPoint(y, x);
  EXPECT_EQ(reports->Warnings, 1);
  EXPECT_TRUE(std::isfinite(x[0]) && std::isfinite(x[1]) && std::isfinite(x[2]));
  // Points that do have a preimage are found: in the moved ball (which also lies where points
  // stay) and outside it.
  const double reachable[2][3] = { { -4.5, 0.25, 0.0 }, { 2.0, 0.0, 0.0 } };
  for (const auto& target : reachable)
  {
    inverse->TransformPoint(target, x);
    double there[3];
    transform->TransformPoint(x, there);
    EXPECT_LT(Distance(there, target), 1e-6) << target[0];
  }
  EXPECT_EQ(reports->Warnings, 1);

  // A point set warns once, however many points fail.
  vtkNew<vtkPoints> in;
  in->InsertNextPoint(0.25, 0.0, 0.0);
  in->InsertNextPoint(-0.25, 0.0, 0.0);
  in->InsertNextPoint(2.0, 0.0, 0.0);
  vtkNew<vtkPoints> out;
  inverse->TransformPoints(in, out);
  ASSERT_EQ(out->GetNumberOfPoints(), 3);
  EXPECT_EQ(reports->Warnings, 2);
  EXPECT_EQ(out->GetPoint(2)[0], 2.0);
}

TEST(ShapeTransformLibrary, CopiesOwnTheirParameters)
{
  Spline reference = RandomSpline(120, 0.3f, 331);
  vtkSmartPointer<vtkAbstractTransform> copy;
  {
    Spline s = RandomSpline(120, 0.3f, 331); // the same spline, handed over and let go
    vtkNew<vtkShapeTransform> original;
    s.HandTo(original);
    original->SetFactor(0.8f);
    copy.TakeReference(original->MakeTransform());
    ASSERT_TRUE(copy->IsA("vtkShapeTransform"));
    copy->DeepCopy(original);
  } // the original, and the arrays, points and locator it was given, are gone
  vtkSmartPointer<vtkAbstractTransform> copyOfCopy;
  copyOfCopy.TakeReference(copy->MakeTransform());
  copyOfCopy->DeepCopy(copy);
  copy = nullptr;

  auto in = RandomPoints(500, 332);
  auto out = vtkSmartPointer<vtkPoints>::New();
  copyOfCopy->TransformPoints(in, out);
  EXPECT_LE(WorstDeviation(reference, in, out, 0.8f, false), 1.0);

  std::ostringstream printed;
  copyOfCopy->Print(printed);
  for (const char* line : { "Radius: 0.3\n", "Landmarks: 120\n", "Factor: 0.8\n", "Cached: 1\n" })
  {
    EXPECT_NE(printed.str().find(line), std::string::npos) << line << " in\n" << printed.str();
  }
}

TEST(ShapeTransformLibrary, ParametersFromACoefficientFileAreHeldByTheTransform)
{
  const testsupport::TempDir dir("shape-transform-library-");
  ASSERT_FALSE(dir.Get().empty());
  const std::string path = dir.Path("spline.trc");
  Spline s;
  {
    Spline written = RandomSpline(100, 0.3f, 341);
    ASSERT_EQ(WriteTransformCoefficients(path.c_str(), written.Radius, written.Points,
                written.X.data(), written.Y.data(), written.Z.data(), written.UnList.data()),
      TransformWriteStatus::Ok);
  }
  vtkNew<vtkShapeTransform> fromFile;
  vtkNew<vtkShapeTransform> fromContents;
  {
    TransformCoefficients c;
    ASSERT_EQ(ReadTransformCoefficients(path.c_str(), c).Status, TransformFileStatus::Ok);
    fromContents->SetParameters(c);
    // The reference evaluates what the file holds (six decimals).
    s.Radius = c.Radius;
    s.Points->SetDataType(c.Points->GetDataType()); // positions are read in double precision
    s.Points->DeepCopy(c.Points);
    s.X = c.CoeffX;
    s.Y = c.CoeffY;
    s.Z = c.CoeffZ;
    s.Constants = c.Constants;
    s.UnList = c.UnList;
  } // the read contents are gone
  EXPECT_EQ(fromFile->LoadCoefficientFile(path.c_str()), 1);
  std::remove(path.c_str());
  auto reports = Watch(fromFile);
  EXPECT_EQ(fromFile->LoadCoefficientFile(path.c_str()), 0); // no such file any more
  EXPECT_EQ(reports->Errors, 1);

  auto in = RandomPoints(500, 342);
  for (vtkShapeTransform* transform : { fromFile.GetPointer(), fromContents.GetPointer() })
  {
    transform->SetFactor(1.0f);
    auto out = Evaluate(transform, in);
    EXPECT_LE(WorstDeviation(s, in, out, 1.0f, false), 1.0);
  }
}

TEST(ShapeTransformLibrary, TransformFilterOnAnUnstructuredGridAndBack)
{
  Spline s = GentleSpline(351);
  auto points = RandomPoints(400, 352, 0.05, 0.95);
  vtkNew<vtkUnstructuredGrid> grid;
  grid->SetPoints(points);
  for (vtkIdType c = 0; c + 4 <= 400; c += 4)
  {
    const vtkIdType ids[4] = { c, c + 1, c + 2, c + 3 };
    grid->InsertNextCell(VTK_TETRA, 4, ids);
  }
  vtkNew<vtkShapeTransform> transform;
  s.HandTo(transform);
  vtkNew<vtkTransformFilter> forward;
  forward->SetInputData(grid);
  forward->SetTransform(transform);
  vtkNew<vtkTransformFilter> back;
  back->SetInputConnection(forward->GetOutputPort());
  back->SetTransform(transform->GetInverse());

  for (float t : { 1.0f, 0.5f })
  {
    transform->SetFactor(t);
    back->Update();
    vtkPoints* moved = forward->GetOutput()->GetPoints();
    EXPECT_LE(WorstDeviation(s, points, moved, t, false), 1.0) << "factor " << t;
    vtkPointSet* restored = back->GetOutput();
    ASSERT_EQ(restored->GetNumberOfPoints(), 400);
    ASSERT_EQ(restored->GetNumberOfCells(), 100);
    double worst = 0.0;
    for (vtkIdType i = 0; i < 400; ++i)
    {
      worst = std::max(worst, Distance(restored->GetPoint(i), points->GetPoint(i)));
    }
    // Single-precision points; the inverse's tolerance is 1e-6.
    EXPECT_LT(worst, 1e-6) << "factor " << t;
  }
}

TEST(ShapeTransformLibrary, CoefficientFileFarFromTheOriginKeepsItsDigits)
{
  // One landmark 1e5 units out and a spline whose constant term nearly cancels its x factor
  // there: d(x) = -50000.00125 + 0.5 x, so d = 0.001 at the landmark. In single precision the
  // position and the constant term each lose more than the move (steps of 0.008 and 0.004).
  const testsupport::TempDir dir("shape-transform-far-");
  ASSERT_FALSE(dir.Get().empty());
  const std::string path = dir.Path("far.trc");
  {
    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("[1.000000]\n[1]\n100000.0045 -20000.0015 7.25\n[5]\n0.000000 0.000000 0.000000\n"
               "-50000.00125 0.000000 0.000000\n0.5 0.000000 0.000000\n"
               "0.000000 0.000000 0.000000\n0.000000 0.000000 0.000000\n[1]\n0\n",
      file);
    ASSERT_EQ(std::fclose(file), 0);
  }
  TransformCoefficients c;
  ASSERT_EQ(ReadTransformCoefficients(path.c_str(), c).Status, TransformFileStatus::Ok);
  ASSERT_EQ(c.Points->GetDataType(), VTK_DOUBLE);
  EXPECT_EQ(c.Points->GetPoint(0)[0], 100000.0045);
  EXPECT_EQ(c.Points->GetPoint(0)[1], -20000.0015);
  ASSERT_EQ(c.Constants.size(), 3u);
  EXPECT_EQ(c.Constants[0], -50000.00125);
  EXPECT_EQ(c.CoeffX[1], -50000.00125f); // the arrays keep the single-precision rounding

  vtkNew<vtkShapeTransform> transform;
  ASSERT_EQ(transform->LoadCoefficientFile(path.c_str()), 1);
  transform->SetFactor(1.0f);
  vtkNew<vtkPoints> in;
  in->SetDataTypeToDouble();
  in->InsertNextPoint(100000.0045, -20000.0015, 7.25);
  in->InsertNextPoint(100000.2045, -20000.0015, 7.25);
  vtkNew<vtkPoints> out;
  out->SetDataTypeToDouble();
  transform->TransformPoints(in, out);
  // d = 0.001 at the landmark, 0.101 at 0.2 beside it.
  EXPECT_NEAR(out->GetPoint(0)[0], 100000.0035, 1e-9);
  EXPECT_NEAR(out->GetPoint(1)[0], 100000.1035, 1e-9);
  EXPECT_EQ(out->GetPoint(0)[1], -20000.0015);
  // Single points and copies say the same.
  double p[3] = { 100000.0045, -20000.0015, 7.25 };
  vtkSmartPointer<vtkAbstractTransform> copy;
  copy.TakeReference(transform->MakeTransform());
  copy->DeepCopy(transform);
  copy->TransformPoint(p, p);
  EXPECT_NEAR(p[0], 100000.0035, 1e-9);
}
