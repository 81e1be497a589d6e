// Point arrays from outside VTK's point sets (what the Python package hands over), Jacobian
// determinants, the points no landmark reaches, the affine part everywhere, and the
// parameters copied out as arrays.
#include "ShapeTransformTesting.h"
#include "vtkShapeTransform.h"

#include "vtkDoubleArray.h"
#include "vtkFloatArray.h"
#include "vtkIntArray.h"
#include "vtkMath.h"
#include "vtkNew.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

using namespace shape_testing;

namespace
{
// The points as a plain array of their own type (float or double), as numpy hands them over.
vtkSmartPointer<vtkDataArray> ArrayOf(vtkPoints* points)
{
  vtkSmartPointer<vtkDataArray> array;
  array.TakeReference(points->GetData()->NewInstance());
  array->DeepCopy(points->GetData());
  return array;
}
}

TEST(ShapeTransformArrays, PointArraysGiveWhatTransformPointGivesOnAnyNumberOfThreads)
{
  // Uneven landmarks and points partly beyond their reach, far enough from the origin that
  // rounding shows; 20,000 points so that several threads share them.
  Spline s = RandomSpline(300, 0.2f, 701, 1000.0, 1001.0, 0.3);
  for (const int type : { VTK_FLOAT, VTK_DOUBLE })
  {
    auto in = RandomPoints(20000, 702, 999.8, 1001.2, type);
    const auto array = ArrayOf(in);
    for (const bool inverse : { false, true })
    {
      for (const int threads : { 1, 0, 3 })
      {
        SCOPED_TRACE(std::to_string(type) + (inverse ? " inverse" : " forward") + " threads " +
          std::to_string(threads));
        vtkNew<vtkShapeTransform> transform;
        s.HandTo(transform);
        transform->SetFactor(0.4f);
        transform->SetNumberOfThreads(threads);
        if (inverse)
        {
          transform->Inverse();
        }
        auto reports = Watch(transform);
        vtkNew<vtkDoubleArray> out;
        transform->TransformPointArray(array, out);
        ASSERT_EQ(out->GetNumberOfTuples(), in->GetNumberOfPoints());
        ASSERT_EQ(out->GetNumberOfComponents(), 3);
        EXPECT_EQ(reports->Errors, 0);
        vtkIdType moved = 0;
        const vtkIdType step = inverse ? 37 : 1; // the inverse is slow point by point
        for (vtkIdType i = 0; i < in->GetNumberOfPoints(); i += step)
        {
          double x[3];
          double y[3];
          in->GetPoint(i, x);
          transform->TransformPoint(x, y);
          for (int a = 0; a < 3; ++a)
          {
            ASSERT_EQ(out->GetTypedComponent(i, a), y[a]) << "point " << i;
          }
          moved += (y[0] != x[0] || y[1] != x[1] || y[2] != x[2]) ? 1 : 0;
        }
        EXPECT_GT(moved, 0);
      }
    }
  }
}

TEST(ShapeTransformArrays, DeterminantsAreThoseOfTheDerivativeAndFoldsShowBelowZero)
{
  Spline s = RandomSpline(200, 0.25f, 711, 0.0, 1.0, 0.5);
  auto in = RandomPoints(6000, 712, -0.3, 1.3, VTK_DOUBLE);
  const auto array = ArrayOf(in);
  vtkNew<vtkShapeTransform> transform;
  s.HandTo(transform);
  for (const float factor : { 0.0f, 0.002f, 3.0f })
  {
    SCOPED_TRACE(factor);
    transform->SetFactor(factor);
    vtkNew<vtkDoubleArray> det;
    transform->JacobianDeterminants(array, det);
    ASSERT_EQ(det->GetNumberOfTuples(), in->GetNumberOfPoints());
    vtkIdType folds = 0;
    vtkIdType beyond = 0;
    for (vtkIdType i = 0; i < in->GetNumberOfPoints(); ++i)
    {
      double x[3];
      double y[3];
      double j[3][3];
      in->GetPoint(i, x);
      transform->InternalTransformDerivative(x, y, j);
      ASSERT_EQ(det->GetValue(i), vtkMath::Determinant3x3(j)) << "point " << i;
      if (ReferenceDisplacement(s, x).Neighbors == 0)
      {
        ++beyond;
        ASSERT_EQ(det->GetValue(i), 1.0) << "point " << i << " is beyond every landmark";
      }
      folds += det->GetValue(i) <= 0.0 ? 1 : 0;
    }
    EXPECT_GT(beyond, 0);
    EXPECT_EQ(transform->CountBeyondReach(array), beyond);
    // Small factors keep the map one to one; this spline folds when pushed three times over.
    if (factor < 1.0f)
    {
      EXPECT_EQ(folds, 0);
    }
    else
    {
      EXPECT_GT(folds, 0);
    }
  }
  // A fold is where neighbouring points swap sides: the deformation reverses the order of two
  // close points along some direction where the determinant is negative.
  transform->SetFactor(3.0f);
  vtkNew<vtkDoubleArray> det;
  transform->JacobianDeterminants(array, det);
  vtkIdType checked = 0;
  for (vtkIdType i = 0; i < in->GetNumberOfPoints() && checked < 20; ++i)
  {
    if (det->GetValue(i) > -0.5)
    {
      continue;
    }
    double x[3];
    in->GetPoint(i, x);
    // The signed volume of a small tetrahedron at x changes sign.
    const double h = 1e-6;
    double corners[4][3];
    for (int c = 0; c < 4; ++c)
    {
      double p[3] = { x[0], x[1], x[2] };
      if (c > 0)
      {
        p[c - 1] += h;
      }
      transform->TransformPoint(p, corners[c]);
    }
    double e[3][3];
    for (int c = 0; c < 3; ++c)
    {
      for (int a = 0; a < 3; ++a)
      {
        e[a][c] = corners[c + 1][a] - corners[0][a];
      }
    }
    EXPECT_LT(vtkMath::Determinant3x3(e), 0.0) << "point " << i;
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

TEST(ShapeTransformArrays, AffineEverywhereMovesThePointsNoLandmarkReaches)
{
  Spline s = RandomSpline(100, 0.2f, 721, 0.0, 1.0, 0.3);
  // The affine part: a scaling by 1.1 about the origin, as d = -0.1 x at factor 1.
  const vtkIdType n = s.N();
  for (std::vector<float>* c : { &s.X, &s.Y, &s.Z })
  {
    std::fill(c->begin() + n, c->end(), 0.0f);
  }
  s.X[n + 1] = s.Y[n + 2] = s.Z[n + 3] = -0.1f;
  vtkNew<vtkShapeTransform> transform;
  s.HandTo(transform);
  transform->SetFactor(1.0f);
  const double far[3] = { 3.0, -2.0, 5.0 };
  double y[3];
  vtkNew<vtkPoints> in;
  in->InsertNextPoint(far);
  in->InsertNextPoint(0.5, 0.5, 0.5);

  // Off, the default: the point stays, also through the displacement cache.
  EXPECT_FALSE(transform->GetAffineEverywhere());
  transform->TransformPoint(far, y);
  EXPECT_EQ(y[0], far[0]);
  vtkNew<vtkPoints> first;
  transform->TransformPoints(in, first);
  EXPECT_EQ(first->GetPoint(0)[2], far[2]);
  EXPECT_EQ(transform->CountBeyondReach(in->GetData()), 1);

  // On: scaled by 1.1, single points and the same input points again (the cache is dropped).
  transform->AffineEverywhereOn();
  transform->TransformPoint(far, y);
  for (int a = 0; a < 3; ++a)
  {
    EXPECT_NEAR(y[a], 1.1 * far[a], 1e-6);
  }
  vtkNew<vtkPoints> second;
  transform->TransformPoints(in, second);
  EXPECT_NEAR(second->GetPoint(0)[2], 1.1 * far[2], 1e-5);
  EXPECT_EQ(second->GetPoint(1)[0], first->GetPoint(1)[0]); // within reach: as before
  vtkNew<vtkDoubleArray> det;
  transform->JacobianDeterminants(in->GetData(), det);
  EXPECT_NEAR(det->GetValue(0), 1.1 * 1.1 * 1.1, 1e-6);

  // Copies take the flag over and show it.
  vtkSmartPointer<vtkAbstractTransform> copy;
  copy.TakeReference(transform->MakeTransform());
  copy->DeepCopy(transform);
  EXPECT_TRUE(vtkShapeTransform::SafeDownCast(copy)->GetAffineEverywhere());
  std::ostringstream printed;
  transform->Print(printed);
  EXPECT_NE(printed.str().find("AffineEverywhere: 1"), std::string::npos);
}

TEST(ShapeTransformArrays, ParametersComeOutAsArraysAndBadArraysAreRefused)
{
  Spline s = RandomSpline(50, 0.3f, 731);
  vtkNew<vtkShapeTransform> transform;
  vtkNew<vtkDoubleArray> coefficients;
  vtkNew<vtkIntArray> ordering;
  transform->GetCoefficients(coefficients);
  transform->GetOrdering(ordering);
  EXPECT_EQ(coefficients->GetNumberOfTuples(), 0); // the identity holds none
  EXPECT_EQ(ordering->GetNumberOfTuples(), 0);

  s.HandTo(transform);
  transform->GetCoefficients(coefficients);
  transform->GetOrdering(ordering);
  ASSERT_EQ(coefficients->GetNumberOfTuples(), s.N() + 4);
  ASSERT_EQ(ordering->GetNumberOfTuples(), s.N());
  for (vtkIdType i = 0; i < s.N() + 4; ++i)
  {
    EXPECT_EQ(coefficients->GetTypedComponent(i, 0), s.X[i]);
    EXPECT_EQ(coefficients->GetTypedComponent(i, 1), s.Y[i]);
    EXPECT_EQ(coefficients->GetTypedComponent(i, 2), s.Z[i]);
  }
  for (vtkIdType k = 0; k < s.N(); ++k)
  {
    EXPECT_EQ(ordering->GetValue(k), s.UnList[k]);
  }

  // Tuples that are not points: an error, an empty output.
  vtkNew<vtkFloatArray> pairs;
  pairs->SetNumberOfComponents(2);
  pairs->InsertNextTuple2(0.5, 0.5);
  auto reports = Watch(transform);
  vtkNew<vtkDoubleArray> out;
  out->SetNumberOfComponents(3);
  out->InsertNextTuple3(1, 2, 3);
  transform->TransformPointArray(pairs, out);
  EXPECT_EQ(out->GetNumberOfTuples(), 0);
  transform->JacobianDeterminants(pairs, out);
  EXPECT_EQ(out->GetNumberOfTuples(), 0);
  EXPECT_EQ(transform->CountBeyondReach(pairs), -1);
  EXPECT_EQ(reports->Errors, 3);
}
