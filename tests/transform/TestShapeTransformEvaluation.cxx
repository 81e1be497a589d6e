// What the transform computes: identity cases, the neighbourhood rule for the affine part,
// and agreement with a direct evaluation of the displacement.
#include "ShapeTransformTesting.h"
#include "vtkShapeTransform.h"

#include "vtkFloatArray.h"
#include "vtkNew.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

using namespace shape_testing;

namespace
{
bool SameBits(vtkPoints* a, vtkPoints* b)
{
  if (a->GetNumberOfPoints() != b->GetNumberOfPoints() || a->GetDataType() != b->GetDataType())
  {
    return false;
  }
  const size_t bytes = static_cast<size_t>(a->GetNumberOfPoints()) * 3 *
    static_cast<size_t>(a->GetData()->GetDataTypeSize());
  return bytes == 0 ||
    std::memcmp(a->GetData()->GetVoidPointer(0), b->GetData()->GetVoidPointer(0), bytes) == 0;
}

// A spline whose only landmark sits at the origin: its kernel weight is large, its affine
// part is d = (1, 2, 3) + x * (0.5, 0, 0) + ... so that every term is visible.
Spline OneLandmark(float radius)
{
  Spline s;
  s.Radius = radius;
  s.Points->InsertNextPoint(0.0, 0.0, 0.0);
  s.X = { 1000.0f, 1.0f, 0.5f, 0.0f, 0.0f };
  s.Y = { -1000.0f, 2.0f, 0.0f, 0.25f, 0.0f };
  s.Z = { 500.0f, 3.0f, 0.0f, 0.0f, -0.125f };
  s.UnList = { 0 };
  s.BuildLocator();
  return s;
}
}

TEST(ShapeTransformEvaluation, IdentityWithoutParametersForAnyFactor)
{
  vtkNew<vtkShapeTransform> transform;
  for (int type : { VTK_FLOAT, VTK_DOUBLE })
  {
    auto in = RandomPoints(500, 3, -10.0, 10.0, type);
    for (float factor : { 0.0f, 0.5f, 1.0f, -3.0f, 1.0e6f })
    {
      transform->SetFactor(factor);
      auto out = vtkSmartPointer<vtkPoints>::New();
      out->SetDataType(type);
      transform->TransformPoints(in, out);
      EXPECT_TRUE(SameBits(in, out)) << "factor " << factor << " type " << type;
    }
  }
  EXPECT_FALSE(transform->GetInitialized());
}

TEST(ShapeTransformEvaluation, PointsOutOfReachStayWhereTheAffinePartIsNotZero)
{
  Spline s = OneLandmark(2.0f);
  vtkNew<vtkShapeTransform> transform;
  s.HandTo(transform);
  transform->SetFactor(1.0f);

  vtkNew<vtkPoints> in;
  in->InsertNextPoint(2.5, 0.0, 0.0);   // just beyond the radius
  in->InsertNextPoint(0.0, -30.0, 7.0); // far away
  in->InsertNextPoint(1.0, 0.0, 0.0);   // within reach: moved
  auto out = Evaluate(transform, in);
  ASSERT_EQ(out->GetNumberOfPoints(), 3);
  for (vtkIdType i = 0; i < 2; ++i)
  {
    EXPECT_EQ(out->GetPoint(i)[0], in->GetPoint(i)[0]);
    EXPECT_EQ(out->GetPoint(i)[1], in->GetPoint(i)[1]);
    EXPECT_EQ(out->GetPoint(i)[2], in->GetPoint(i)[2]);
  }
  // Within reach: (1 - 1/2)^2 = 0.25 of the kernel weight plus the affine part at x = 1.
  EXPECT_FLOAT_EQ(out->GetPoint(2)[0], 1.0 - (0.25 * 1000.0 + 1.0 + 0.5));
  EXPECT_FLOAT_EQ(out->GetPoint(2)[1], 0.0 - (0.25 * -1000.0 + 2.0));
  EXPECT_FLOAT_EQ(out->GetPoint(2)[2], 0.0 - (0.25 * 500.0 + 3.0));
}

TEST(ShapeTransformEvaluation, LandmarkAtExactlyTheRadiusAddsTheAffinePartOnly)
{
  Spline s = OneLandmark(2.0f);
  vtkNew<vtkShapeTransform> transform;
  s.HandTo(transform);
  transform->SetFactor(1.0f);

  vtkNew<vtkPoints> in;
  in->InsertNextPoint(2.0, 0.0, 0.0);
  in->InsertNextPoint(0.0, 0.0, -2.0);
  auto out = Evaluate(transform, in);
  // Weight (1 - 2/2)^2 = 0: the 1000s must not show, the affine part must.
  EXPECT_EQ(out->GetPoint(0)[0], 2.0 - (1.0 + 0.5 * 2.0));
  EXPECT_EQ(out->GetPoint(0)[1], 0.0 - 2.0);
  EXPECT_EQ(out->GetPoint(0)[2], 0.0 - 3.0);
  EXPECT_EQ(out->GetPoint(1)[0], 0.0 - 1.0);
  EXPECT_EQ(out->GetPoint(1)[1], 0.0 - 2.0);
  EXPECT_EQ(out->GetPoint(1)[2], -2.0 - (3.0 - 0.125 * -2.0));
}

TEST(ShapeTransformEvaluation, MatchesTheDirectEvaluationOfTheDisplacement)
{
  // 300 landmarks with about 15 within reach of a point, shuffled ordering, random weights.
  Spline s = RandomSpline(300, 0.23f, 11);
  auto in = RandomPoints(4000, 12, -0.1, 1.1);
  vtkNew<vtkShapeTransform> transform;
  s.HandTo(transform);

  transform->SetFactor(0.37f);
  auto first = Evaluate(transform, in);
  EXPECT_LE(WorstDeviation(s, in, first, 0.37f, false), 1.0);

  // Later factors come from the cache, rounded to single precision.
  for (float factor : { 1.0f, -0.8f, 0.0f })
  {
    transform->SetFactor(factor);
    auto later = Evaluate(transform, in);
    EXPECT_LE(WorstDeviation(s, in, later, factor, true), 1.0) << "factor " << factor;
  }

  // Double precision input points are evaluated as given.
  auto dbl = RandomPoints(1000, 13, -0.1, 1.1, VTK_DOUBLE);
  transform->SetFactor(0.5f);
  auto out = Evaluate(transform, dbl);
  EXPECT_LE(WorstDeviation(s, dbl, out, 0.5f, false), 1.0);
}

TEST(ShapeTransformEvaluation, CachedStepsUseTheSinglePrecisionDisplacements)
{
  // The first evaluation reports x - t*d from the double sums; a later one with the same
  // factor uses d rounded to float. Both stay within their bounds of the exact value, and the
  // later one is exactly x - t*float(d) rounded once.
  Spline s = RandomSpline(200, 0.3f, 21, 0.0, 1.0, 3.0);
  auto in = RandomPoints(3000, 22);
  vtkNew<ProbedTransform> transform;
  s.HandTo(transform);
  const float t = 0.7f;
  transform->SetFactor(t);
  auto first = Evaluate(transform, in);
  auto again = Evaluate(transform, in);
  EXPECT_LE(WorstDeviation(s, in, first, t, false), 1.0);
  EXPECT_LE(WorstDeviation(s, in, again, t, true), 1.0);

  vtkPoints* cache = transform->GetDisplacements();
  ASSERT_EQ(cache->GetNumberOfPoints(), in->GetNumberOfPoints());
  int differing = 0;
  for (vtkIdType i = 0; i < in->GetNumberOfPoints(); ++i)
  {
    const Displacement d = ReferenceDisplacement(s, in->GetPoint(i));
    for (int a = 0; a < 3; ++a)
    {
      const float cached = static_cast<float>(cache->GetPoint(i)[a]);
      // The cache holds the displacement rounded to single precision (to nearest, give or
      // take the double sums' own error).
      EXPECT_LE(std::fabs(cached - d.D[a]), std::fabs(d.D[a]) / (1 << 23) + 1e-12) << i;
      const float x = static_cast<float>(in->GetPoint(i)[a]);
      const float expected = static_cast<float>(static_cast<double>(x) - double(t) * cached);
      EXPECT_EQ(static_cast<float>(again->GetPoint(i)[a]), expected) << i;
      differing += static_cast<float>(first->GetPoint(i)[a]) != expected;
    }
  }
  // Not a requirement, a check that the two paths really are different computations.
  std::cout << differing << " of " << 3 * in->GetNumberOfPoints()
            << " coordinates differ between the first and a cached evaluation\n";
}

TEST(ShapeTransformEvaluation, CellSearchFindsWhatASearchOfAllLandmarksFinds)
{
  // Layouts where a search by cells could miss or double a landmark: points on cell borders
  // and at exactly the radius (landmarks on a lattice of spacing R), points outside the
  // landmarks' bounds, radii huge or tiny against the spread (the grid's size is bounded),
  // flat and collinear sets, and coordinates whose spread is beyond double precision.
  struct Case
  {
    const char* Name;
    float Radius;
    std::vector<std::array<double, 3>> Landmarks;
    std::vector<std::array<double, 3>> Points;
  };
  std::vector<Case> cases;
  std::mt19937 rng(71);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  auto random = [&](int n, double lo, double hi, double flatten = 1.0)
  {
    std::vector<std::array<double, 3>> v(n);
    for (auto& p : v)
    {
      p = { lo + (hi - lo) * unit(rng), lo + (hi - lo) * unit(rng),
        flatten * (lo + (hi - lo) * unit(rng)) };
    }
    return v;
  };
  {
    Case lattice{ "lattice of spacing R, points on it and half-way", 1.0f, {}, {} };
    for (int i = 0; i < 5; ++i)
      for (int j = 0; j < 4; ++j)
        for (int k = 0; k < 3; ++k)
        {
          lattice.Landmarks.push_back({ double(i), double(j), double(k) });
          lattice.Points.push_back({ double(i), double(j), double(k) });
          lattice.Points.push_back({ i + 0.5, j + 0.5, k + 0.5 });
          lattice.Points.push_back({ i - 1.0, j + 0.0, k + 1.0 }); // beyond the low x bound
        }
    cases.push_back(lattice);
  }
  cases.push_back(
    { "points outside the bounds", 0.2f, random(200, 0.0, 1.0), random(2000, -0.4, 1.4) });
  cases.back().Points.push_back({ 1e6, -1e6, 0.5 });
  cases.back().Points.push_back({ -3e38, 3e38, 3e38 });
  cases.push_back(
    { "radius far beyond the spread", 1000.0f, random(150, 0.0, 1.0), random(300, -5.0, 5.0) });
  cases.back().Points.push_back({ 0.5, 1001.5, 0.5 });
  {
    // A grid of cells of width R would have 1e12 cells; the points lie near landmarks.
    Case tiny{ "radius far below the spread", 1e-4f, random(300, 0.0, 1.0), {} };
    for (const auto& p : tiny.Landmarks)
    {
      tiny.Points.push_back(p);
      tiny.Points.push_back({ p[0] + 6e-5, p[1], p[2] - 3e-5 });
      tiny.Points.push_back({ p[0], p[1] - 2e-4, p[2] });
    }
    cases.push_back(tiny);
  }
  {
    Case tinier{ "radius 1e-30: only points on a landmark are within reach", 1e-30f,
      random(100, -1.0, 1.0), random(100, -1.0, 1.0) };
    tinier.Points.insert(tinier.Points.end(), tinier.Landmarks.begin(), tinier.Landmarks.end());
    cases.push_back(tinier);
  }
  cases.push_back({ "flat set", 0.3f, random(300, 0.0, 1.0, 0.0), random(1000, -0.2, 1.2, 0.1) });
  {
    Case line{ "collinear set with duplicates", 0.25f, {}, random(500, -0.3, 1.3) };
    for (int i = 0; i < 60; ++i)
    {
      line.Landmarks.push_back({ (i % 30) / 30.0, 0.5, 0.5 });
    }
    cases.push_back(line);
  }
  {
    Case far{ "landmarks beyond double precision's spread", 0.3f, random(200, 0.0, 1.0),
      random(500, -0.2, 1.2) };
    far.Landmarks.push_back({ 1.5e308, 0.5, 0.5 });
    far.Landmarks.push_back({ -1.5e308, 0.5, 0.5 });
    cases.push_back(far);
  }

  for (const Case& c : cases)
  {
    const int n = static_cast<int>(c.Landmarks.size());
    Spline s = RandomSpline(n, c.Radius, 72, 0.0, 1.0, 0.5);
    s.Points = vtkSmartPointer<vtkPoints>::New();
    s.Points->SetDataTypeToDouble();
    for (const auto& p : c.Landmarks)
    {
      s.Points->InsertNextPoint(p.data());
    }
    s.BuildLocator();
    vtkNew<vtkPoints> in;
    in->SetDataTypeToDouble();
    for (const auto& p : c.Points)
    {
      in->InsertNextPoint(p.data());
    }
    vtkNew<ProbedTransform> transform;
    s.HandTo(transform);
    ASSERT_TRUE(transform->GetInitialized()) << c.Name;
    EXPECT_LE(transform->GridCells(), 4.0 * n + 4096) << c.Name;
    transform->SetFactor(1.0f);
    auto out = Evaluate(transform, in);
    EXPECT_LE(WorstDeviation(s, in, out, 1.0f, false), 1.0) << c.Name;
    int reached = 0;
    for (vtkIdType i = 0; i < in->GetNumberOfPoints(); ++i)
    {
      reached += ReferenceDisplacement(s, in->GetPoint(i)).Neighbors > 0;
      // A single point: the same sums in the same order.
      double y[3];
      transform->TransformPoint(in->GetPoint(i), y);
      for (int a = 0; a < 3; ++a)
      {
        ASSERT_EQ(static_cast<float>(y[a]), static_cast<float>(out->GetPoint(i)[a]))
          << c.Name << ", point " << i;
      }
    }
    // Each layout has points both within and out of every landmark's reach.
    EXPECT_GT(reached, 0) << c.Name;
    EXPECT_LT(reached, in->GetNumberOfPoints()) << c.Name;
  }
}
