// What the transform computes: identity cases, the neighbourhood rule for the affine part,
// and agreement with a direct evaluation of the displacement.
#include "ShapeTransformTesting.h"
#include "vtkShapeTransform.h"

#include "vtkFloatArray.h"
#include "vtkNew.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

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
