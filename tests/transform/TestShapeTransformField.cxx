// The displacement field and its derivative at points, whatever the blend: what the viewer's
// colours compute the Jacobian determinant at every blend from.
#include "ShapeTransformTesting.h"
#include "vtkShapeTransform.h"

#include "vtkDoubleArray.h"
#include "vtkMath.h"
#include "vtkNew.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace shape_testing;

TEST(ShapeTransformField, DisplacementIsTheSplinesAndItsDerivativeGivesTheJacobianAtEveryBlend)
{
  // Uneven landmarks far from the origin, points partly beyond their reach.
  Spline s = RandomSpline(250, 0.25f, 721, 500.0, 501.0, 0.5);
  auto points = RandomPoints(5000, 722, 499.7, 501.3, VTK_DOUBLE);
  vtkNew<vtkShapeTransform> transform;
  s.HandTo(transform);
  // Neither the blend in force nor the direction changes the field.
  transform->SetFactor(0.7f);
  transform->Inverse();
  vtkNew<vtkDoubleArray> d;
  vtkNew<vtkDoubleArray> g;
  transform->EvaluateDisplacementField(points->GetData(), d, g);
  ASSERT_EQ(d->GetNumberOfTuples(), points->GetNumberOfPoints());
  ASSERT_EQ(d->GetNumberOfComponents(), 3);
  ASSERT_EQ(g->GetNumberOfTuples(), points->GetNumberOfPoints());
  ASSERT_EQ(g->GetNumberOfComponents(), 9);
  for (vtkIdType i = 0; i < points->GetNumberOfPoints(); ++i)
  {
    double x[3];
    points->GetPoint(i, x);
    const Displacement reference = ReferenceDisplacement(s, x);
    for (int a = 0; a < 3; ++a)
    {
      ASSERT_NEAR(d->GetComponent(i, a), static_cast<double>(reference.D[a]),
        1e-12 * static_cast<double>(reference.Magnitude[a]) + 1e-15)
        << "point " << i;
    }
  }

  // Component 3 a + b is d d_a / d x_b: central differences of the field itself, away from
  // the landmarks (the kernel's cone has no derivative at its tip).
  const double h = 1e-5;
  vtkNew<vtkDoubleArray> shifted;
  shifted->SetNumberOfComponents(3);
  vtkIdType compared = 0;
  for (vtkIdType i = 0; i < points->GetNumberOfPoints(); i += 25)
  {
    double x[3];
    points->GetPoint(i, x);
    bool nearLandmark = false;
    for (vtkIdType k = 0; k < s.N(); ++k)
    {
      nearLandmark =
        nearLandmark || vtkMath::Distance2BetweenPoints(s.Points->GetPoint(k), x) < 1e-6;
    }
    if (nearLandmark)
    {
      continue;
    }
    shifted->SetNumberOfTuples(6);
    for (int b = 0; b < 3; ++b)
    {
      for (int side = 0; side < 2; ++side)
      {
        double p[3] = { x[0], x[1], x[2] };
        p[b] += side == 0 ? h : -h;
        shifted->SetTuple(2 * b + side, p);
      }
    }
    vtkNew<vtkDoubleArray> ds;
    transform->EvaluateDisplacementField(shifted, ds, nullptr);
    // The affine part stops where the last landmark goes out of reach: no derivative there.
    const bool sameReach = ReferenceDisplacement(s, shifted->GetTuple3(0)).Neighbors ==
      ReferenceDisplacement(s, shifted->GetTuple3(1)).Neighbors;
    for (int b = 0; b < 3 && sameReach; ++b)
    {
      for (int a = 0; a < 3; ++a)
      {
        const double difference =
          (ds->GetComponent(2 * b, a) - ds->GetComponent(2 * b + 1, a)) / (2 * h);
        EXPECT_NEAR(g->GetComponent(i, 3 * a + b), difference, 1e-4) << "point " << i;
      }
    }
    compared += sameReach ? 1 : 0;
  }
  EXPECT_GT(compared, 100);

  transform->Inverse(); // forward again, for the determinants to compare with
  for (const float blend : { 0.0f, 0.3f, 1.0f, 3.0f })
  {
    SCOPED_TRACE(blend);
    transform->SetFactor(blend);
    vtkNew<vtkDoubleArray> det;
    transform->JacobianDeterminants(points->GetData(), det);
    vtkIdType negative = 0;
    for (vtkIdType i = 0; i < points->GetNumberOfPoints(); ++i)
    {
      double j[3][3];
      for (int a = 0; a < 3; ++a)
      {
        for (int b = 0; b < 3; ++b)
        {
          j[a][b] = (a == b ? 1.0 : 0.0) - blend * g->GetComponent(i, 3 * a + b);
        }
      }
      ASSERT_NEAR(vtkMath::Determinant3x3(j), det->GetValue(i), 1e-12) << "point " << i;
      negative += det->GetValue(i) <= 0.0 ? 1 : 0;
    }
    if (blend == 3.0f)
    {
      EXPECT_GT(negative, 0) << "this spline folds when pushed three times over";
    }
  }
}

TEST(ShapeTransformField, WithoutParametersTheFieldIsZeroAndBadTuplesAreRefused)
{
  vtkNew<vtkShapeTransform> identity;
  auto points = RandomPoints(10, 731);
  vtkNew<vtkDoubleArray> d;
  vtkNew<vtkDoubleArray> g;
  identity->EvaluateDisplacementField(points->GetData(), d, g);
  ASSERT_EQ(d->GetNumberOfTuples(), 10);
  ASSERT_EQ(g->GetNumberOfTuples(), 10);
  EXPECT_EQ(d->GetRange(-1)[1], 0.0);
  EXPECT_EQ(g->GetRange(-1)[1], 0.0);

  Spline s = RandomSpline(50, 0.3f, 732);
  vtkNew<vtkShapeTransform> transform;
  s.HandTo(transform);
  vtkNew<vtkDoubleArray> pairs;
  pairs->SetNumberOfComponents(2);
  pairs->SetNumberOfTuples(4);
  auto reports = Watch(transform);
  transform->EvaluateDisplacementField(pairs, d, g);
  EXPECT_EQ(d->GetNumberOfTuples(), 0);
  EXPECT_EQ(g->GetNumberOfTuples(), 0);
  EXPECT_EQ(reports->Errors, 1);
  // The derivative is optional.
  transform->EvaluateDisplacementField(points->GetData(), d, nullptr);
  EXPECT_EQ(d->GetNumberOfTuples(), 10);
}
