// Parameters and inputs that must not make the transform read out of range or produce
// NaN or infinite coordinates.
#include "ShapeTransformTesting.h"
#include "vtkShapeTransform.h"

#include "vtkNew.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace shape_testing;

namespace
{
// Every output coordinate is finite and equals the input's.
void ExpectUnmoved(vtkPoints* in, vtkPoints* out)
{
  ASSERT_EQ(in->GetNumberOfPoints(), out->GetNumberOfPoints());
  for (vtkIdType i = 0; i < in->GetNumberOfPoints(); ++i)
  {
    for (int a = 0; a < 3; ++a)
    {
      ASSERT_EQ(out->GetPoint(i)[a], in->GetPoint(i)[a]) << "point " << i;
    }
  }
}
}

TEST(ShapeTransformSafety, RadiusThatIsNotFiniteMovesNothing)
{
  for (float radius :
    { std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity() })
  {
    Spline s = RandomSpline(50, 1.0f, 91);
    s.Radius = radius;
    auto in = RandomPoints(200, 92);
    vtkNew<ProbedTransform> transform;
    auto reports = Watch(transform);
    transform->SetFactor(1.0f);
    s.HandTo(transform);
    EXPECT_EQ(reports->Warnings, 1) << "radius " << radius;
    EXPECT_FALSE(transform->GetInitialized());
    ExpectUnmoved(in, Evaluate(transform, in));
    EXPECT_EQ(transform->Searches(), 0);
  }
}

TEST(ShapeTransformSafety, RadiusOfZeroOrBelowAppliesTheAffinePartEverywhere)
{
  // What the fitting tool fits with such a radius: the affine part alone.
  for (float radius : { 0.0f, -1.0f })
  {
    // A model point on a landmark: with R = 0 its kernel weight would be 0/0.
    Spline s = RandomSpline(50, 1.0f, 91);
    s.Radius = radius;
    auto in = RandomPoints(200, 92, -3.0, 3.0);
    in->SetPoint(0, s.Points->GetPoint(3));
    vtkNew<ProbedTransform> transform;
    auto reports = Watch(transform);
    transform->SetFactor(0.5f);
    s.HandTo(transform);
    EXPECT_EQ(reports->Warnings, 1) << "radius " << radius;
    auto out = Evaluate(transform, in);
    const vtkIdType n = s.N();
    for (vtkIdType i = 0; i < in->GetNumberOfPoints(); ++i)
    {
      const double* x = in->GetPoint(i);
      const std::vector<float>* axes[3] = { &s.X, &s.Y, &s.Z };
      for (int a = 0; a < 3; ++a)
      {
        const std::vector<float>& c = *axes[a];
        const double d = c[n] + c[n + 1] * x[0] + c[n + 2] * x[1] + c[n + 3] * x[2];
        EXPECT_NEAR(out->GetPoint(i)[a], x[a] - 0.5 * d, 1e-6) << "radius " << radius;
      }
    }
    EXPECT_EQ(transform->Searches(), 0);
  }
}

TEST(ShapeTransformSafety, OrderingEntriesOutOfRangeAreRefused)
{
  for (int bad : { -1, 50, 1 << 30 })
  {
    Spline s = RandomSpline(50, 0.4f, 101);
    auto in = RandomPoints(300, 102);
    vtkNew<vtkShapeTransform> transform;
    auto reports = Watch(transform);
    transform->SetFactor(1.0f);
    // A good spline first: a refused one must not leave it (or its cache) in force.
    Spline good = RandomSpline(50, 0.4f, 103);
    good.HandTo(transform);
    Evaluate(transform, in);
    s.UnList[17] = bad;
    s.HandTo(transform);
    EXPECT_EQ(reports->Errors, 1) << "entry " << bad;
    ExpectUnmoved(in, Evaluate(transform, in));
  }
}

TEST(ShapeTransformSafety, MissingArraysOrAForeignLocatorAreRefused)
{
  Spline s = RandomSpline(40, 0.4f, 111);
  auto in = RandomPoints(100, 112);
  vtkNew<ProbedTransform> transform;
  auto reports = Watch(transform);
  transform->SetFactor(1.0f);

  transform->SetParameters(
    s.Radius, nullptr, s.X.data(), s.Y.data(), s.Z.data(), s.UnList.data(), s.Locator);
  ExpectUnmoved(in, Evaluate(transform, in));
  transform->SetParameters(
    s.Radius, s.Points, s.X.data(), nullptr, s.Z.data(), s.UnList.data(), s.Locator);
  ExpectUnmoved(in, Evaluate(transform, in));
  transform->SetParameters(
    s.Radius, s.Points, s.X.data(), s.Y.data(), s.Z.data(), s.UnList.data(), nullptr);
  ExpectUnmoved(in, Evaluate(transform, in));

  // A locator over more points than the landmarks would hand out ids past the arrays.
  Spline bigger = RandomSpline(60, 0.4f, 113);
  transform->SetParameters(
    s.Radius, s.Points, s.X.data(), s.Y.data(), s.Z.data(), s.UnList.data(), bigger.Locator);
  ExpectUnmoved(in, Evaluate(transform, in));
  EXPECT_EQ(reports->Errors, 4);

  // The same holds when the locator's data grows after the parameters were accepted.
  s.HandTo(transform);
  EXPECT_TRUE(transform->GetInitialized());
  s.Data->SetPoints(bigger.Points);
  ExpectUnmoved(in, Evaluate(transform, in));
  // And when a landmark is added to the points themselves (the locator's data shares them):
  // the coefficient arrays have no entries for it.
  Spline grown = RandomSpline(40, 0.4f, 114);
  grown.HandTo(transform);
  grown.Points->InsertNextPoint(0.5, 0.5, 0.5);
  ExpectUnmoved(in, Evaluate(transform, in));
  EXPECT_EQ(transform->Searches(), 0);
}

TEST(ShapeTransformSafety, CopiesAndInversesOfAGrownLandmarkSetAreTheIdentity)
{
  // The caller's coefficient arrays have N + 4 entries: a copy made after landmarks were added
  // must take that many, not as many as there are points now (ASan sees the over-read).
  Spline grown = RandomSpline(40, 0.4f, 115);
  auto in = RandomPoints(100, 116);
  vtkNew<vtkShapeTransform> transform;
  transform->SetFactor(1.0f);
  grown.HandTo(transform);
  for (int k = 0; k < 5000; ++k)
  {
    grown.Points->InsertNextPoint(0.5, 0.5, 0.001 * k);
  }
  vtkSmartPointer<vtkAbstractTransform> copy;
  copy.TakeReference(transform->MakeTransform());
  copy->DeepCopy(transform);
  for (vtkAbstractTransform* t : { transform->GetInverse(), copy.GetPointer() })
  {
    vtkNew<vtkPoints> out;
    t->TransformPoints(in, out);
    ExpectUnmoved(in, out);
    double p[3] = { 0.25, 0.5, 0.75 };
    t->TransformPoint(p, p);
    EXPECT_EQ(p[0], 0.25);
    EXPECT_EQ(p[1], 0.5);
    EXPECT_EQ(p[2], 0.75);
  }
}

TEST(ShapeTransformSafety, NoLandmarksMeansNoMovement)
{
  Spline s;
  s.Radius = 0.5f;
  s.X = { 1.0f, 2.0f, 3.0f, 4.0f };
  s.Y = s.X;
  s.Z = s.X;
  s.BuildLocator();
  auto in = RandomPoints(100, 121);
  vtkNew<vtkShapeTransform> transform;
  transform->SetFactor(1.0f);
  s.HandTo(transform);
  EXPECT_TRUE(transform->GetInitialized());
  ExpectUnmoved(in, Evaluate(transform, in));
  ExpectUnmoved(in, Evaluate(transform, in));
}

TEST(ShapeTransformSafety, DisplacementsThatAreNotFiniteLeaveThePointInPlace)
{
  Spline s = RandomSpline(100, 0.3f, 131);
  // Landmark 7 carries a NaN weight in x, landmark 8 a weight so large that a nearby
  // displacement exceeds single precision, landmark 9 an infinite weight in z.
  s.X[s.UnList[7]] = std::numeric_limits<float>::quiet_NaN();
  s.Y[s.UnList[8]] = std::numeric_limits<float>::max();
  s.Z[s.UnList[9]] = std::numeric_limits<float>::infinity();
  vtkNew<vtkPoints> in;
  for (vtkIdType k = 7; k <= 9; ++k)
  {
    in->InsertNextPoint(s.Points->GetPoint(k)); // weight 1, plus the others in reach
  }
  auto others = RandomPoints(2000, 132);
  for (vtkIdType i = 0; i < others->GetNumberOfPoints(); ++i)
  {
    in->InsertNextPoint(others->GetPoint(i));
  }
  vtkNew<vtkShapeTransform> transform;
  s.HandTo(transform);
  for (float factor : { 1.0f, 0.5f })
  {
    transform->SetFactor(factor);
    auto out = Evaluate(transform, in);
    for (vtkIdType i = 0; i < in->GetNumberOfPoints(); ++i)
    {
      double x[3], y[3];
      in->GetPoint(i, x);
      out->GetPoint(i, y);
      ASSERT_TRUE(std::isfinite(y[0]) && std::isfinite(y[1]) && std::isfinite(y[2])) << i;
      const Displacement d = ReferenceDisplacement(s, x);
      bool exact = true;
      for (int a = 0; a < 3; ++a)
      {
        exact =
          exact && std::isfinite(d.D[a]) && std::fabs(d.D[a]) <= std::numeric_limits<float>::max();
      }
      if (!exact)
      {
        EXPECT_EQ(y[0], x[0]) << i;
        EXPECT_EQ(y[1], x[1]) << i;
        EXPECT_EQ(y[2], x[2]) << i;
      }
    }
    EXPECT_EQ(out->GetPoint(0)[0], in->GetPoint(0)[0]);
  }
}

TEST(ShapeTransformSafety, NonFiniteModelCoordinatesAreNotQueried)
{
  Spline s = RandomSpline(100, 0.3f, 141);
  auto in = RandomPoints(500, 142);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  in->SetPoint(3, nan, 0.5, 0.5);
  in->SetPoint(4, 0.5, inf, 0.5);
  vtkNew<ProbedTransform> transform;
  transform->SetFactor(1.0f);
  s.HandTo(transform);
  auto out = Evaluate(transform, in);
  EXPECT_EQ(transform->Searches(), 498);
  EXPECT_TRUE(std::isnan(out->GetPoint(3)[0]));
  EXPECT_EQ(out->GetPoint(3)[1], 0.5f);
  EXPECT_EQ(out->GetPoint(4)[1], inf);
  EXPECT_EQ(out->GetPoint(4)[2], 0.5f);
  // The other points are moved as usual.
  vtkNew<vtkPoints> rest, restOut;
  for (vtkIdType i = 0; i < in->GetNumberOfPoints(); ++i)
  {
    if (i != 3 && i != 4)
    {
      rest->InsertNextPoint(in->GetPoint(i));
      restOut->InsertNextPoint(out->GetPoint(i));
    }
  }
  EXPECT_LE(WorstDeviation(s, rest, restOut, 1.0, false), 1.0);
}

TEST(ShapeTransformSafety, FactorThatIsNotFiniteShowsTheModelAsLoaded)
{
  Spline s = RandomSpline(100, 0.3f, 151);
  auto in = RandomPoints(300, 152);
  vtkNew<vtkShapeTransform> transform;
  s.HandTo(transform);
  for (float factor :
    { std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity() })
  {
    transform->SetFactor(factor);
    ExpectUnmoved(in, Evaluate(transform, in));
  }
}
