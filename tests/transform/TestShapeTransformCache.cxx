// The displacement cache: reuse without neighbour queries, invalidation by new parameters
// and by another input, and the transform inside a vtkTransformPolyDataFilter.
#include "ShapeTransformTesting.h"
#include "vtkShapeTransform.h"

#include "vtkCellArray.h"
#include "vtkFloatArray.h"
#include "vtkMath.h"
#include "vtkNew.h"
#include "vtkPointData.h"
#include "vtkPolyData.h"
#include "vtkTransformPolyDataFilter.h"

#include <gtest/gtest.h>

using namespace shape_testing;

TEST(ShapeTransformCache, LaterEvaluationsReuseTheDisplacementsWithoutQueries)
{
  Spline s = RandomSpline(150, 0.25f, 31);
  auto in = RandomPoints(2000, 32);
  vtkNew<ProbedTransform> transform;
  s.HandTo(transform);

  transform->SetFactor(0.25f);
  Evaluate(transform, in);
  EXPECT_EQ(transform->Searches(), 2000);
  EXPECT_TRUE(transform->IsCached());

  for (float factor : { 0.5f, 1.0f, 0.25f })
  {
    transform->SetFactor(factor);
    auto out = Evaluate(transform, in);
    EXPECT_LE(WorstDeviation(s, in, out, factor, true), 1.0) << "factor " << factor;
  }
  EXPECT_EQ(transform->Searches(), 2000);
}

TEST(ShapeTransformCache, NewParametersAfterACachedRunTakeEffect)
{
  Spline a = RandomSpline(150, 0.25f, 41);
  Spline b = RandomSpline(90, 0.3f, 42, 0.0, 1.0, 0.5);
  auto in = RandomPoints(1500, 43);
  vtkNew<ProbedTransform> transform;
  transform->SetFactor(1.0f);
  a.HandTo(transform);
  Evaluate(transform, in);
  Evaluate(transform, in);
  EXPECT_EQ(transform->Searches(), 1500);

  b.HandTo(transform);
  EXPECT_FALSE(transform->IsCached());
  auto out = Evaluate(transform, in);
  EXPECT_EQ(transform->Searches(), 3000);
  EXPECT_LE(WorstDeviation(b, in, out, 1.0, false), 1.0);
}

TEST(ShapeTransformCache, AnotherInputIsNeverServedFromTheCache)
{
  Spline s = RandomSpline(150, 0.25f, 51);
  vtkNew<ProbedTransform> transform;
  transform->SetFactor(0.8f);
  s.HandTo(transform);
  auto first = RandomPoints(1000, 52);
  Evaluate(transform, first);
  long queries = transform->Searches();

  // Another object with the same number of points.
  auto same = RandomPoints(1000, 53);
  auto out = Evaluate(transform, same);
  EXPECT_EQ(transform->Searches(), queries += 1000);
  EXPECT_LE(WorstDeviation(s, same, out, 0.8f, false), 1.0);

  // The cached object itself, changed in place.
  same->SetPoint(10, 0.5, 0.5, 0.5);
  same->Modified();
  out = Evaluate(transform, same);
  EXPECT_EQ(transform->Searches(), queries += 1000);
  EXPECT_LE(WorstDeviation(s, same, out, 0.8f, false), 1.0);

  // More points than cached (reading past the cache), then fewer.
  same->InsertNextPoint(0.1, 0.2, 0.3);
  out = Evaluate(transform, same);
  EXPECT_EQ(transform->Searches(), queries += 1001);
  EXPECT_LE(WorstDeviation(s, same, out, 0.8f, false), 1.0);
  auto fewer = RandomPoints(10, 54);
  out = Evaluate(transform, fewer);
  EXPECT_EQ(transform->Searches(), queries += 10);
  EXPECT_LE(WorstDeviation(s, fewer, out, 0.8f, false), 1.0);

  // And back to a cached input: served from the cache again.
  Evaluate(transform, fewer);
  EXPECT_EQ(transform->Searches(), queries);
}

TEST(ShapeTransformCache, EmptyInputGivesEmptyOutputAndIsCached)
{
  Spline s = RandomSpline(20, 0.3f, 61);
  vtkNew<ProbedTransform> transform;
  s.HandTo(transform);
  vtkNew<vtkPoints> empty;
  auto out = Evaluate(transform, empty);
  EXPECT_EQ(out->GetNumberOfPoints(), 0);
  EXPECT_TRUE(transform->IsCached());
}

TEST(ShapeTransformCache, PointsAreAppendedAfterThoseAlreadyInTheOutput)
{
  Spline s = RandomSpline(100, 0.3f, 65);
  auto in = RandomPoints(300, 66);
  vtkNew<vtkShapeTransform> transform;
  transform->SetFactor(0.5f);
  s.HandTo(transform);
  for (int pass = 0; pass < 2; ++pass)
  {
    vtkNew<vtkPoints> out;
    out->InsertNextPoint(7.0, 8.0, 9.0);
    transform->TransformPoints(in, out);
    ASSERT_EQ(out->GetNumberOfPoints(), 301);
    EXPECT_EQ(out->GetPoint(0)[2], 9.0);
    vtkNew<vtkPoints> tail;
    tail->SetNumberOfPoints(300);
    for (vtkIdType i = 0; i < 300; ++i)
    {
      tail->SetPoint(i, out->GetPoint(i + 1));
    }
    EXPECT_LE(WorstDeviation(s, in, tail, 0.5, pass == 1), 1.0) << "pass " << pass;
  }
}

namespace
{
// A polygonal model with normals and vectors on its points.
vtkSmartPointer<vtkPolyData> Model(vtkIdType n, unsigned seed)
{
  auto model = vtkSmartPointer<vtkPolyData>::New();
  model->SetPoints(RandomPoints(n, seed));
  vtkNew<vtkCellArray> verts;
  for (vtkIdType i = 0; i < n; ++i)
  {
    verts->InsertNextCell(1, &i);
  }
  model->SetVerts(verts);
  vtkNew<vtkFloatArray> normals, vectors;
  normals->SetName("Normals");
  vectors->SetName("Vectors");
  for (auto* a : { normals.Get(), vectors.Get() })
  {
    a->SetNumberOfComponents(3);
    for (vtkIdType i = 0; i < n; ++i)
    {
      a->InsertNextTuple3(0.0, 0.6, 0.8);
    }
  }
  model->GetPointData()->SetNormals(normals);
  model->GetPointData()->SetVectors(vectors);
  return model;
}
}

TEST(ShapeTransformCache, FilterReexecutesFromTheCacheWhenTheFactorChanges)
{
  Spline s = RandomSpline(150, 0.25f, 71);
  auto model = Model(3000, 72);
  vtkNew<ProbedTransform> transform;
  vtkNew<vtkTransformPolyDataFilter> filter;
  filter->SetTransform(transform);
  filter->SetInputData(model);

  // Without parameters the filter passes the points through.
  transform->SetFactor(0.5f);
  filter->Update();
  EXPECT_EQ(filter->GetOutput()->GetNumberOfPoints(), 3000);
  EXPECT_EQ(filter->GetOutput()->GetPoint(5)[1], model->GetPoint(5)[1]);

  // New parameters alone make the filter re-execute: one search per point for the
  // displacements, one for the gradients that carry the model's normals and vectors.
  s.HandTo(transform);
  filter->Update();
  EXPECT_EQ(transform->Searches(), 6000);
  EXPECT_LE(
    WorstDeviation(s, model->GetPoints(), filter->GetOutput()->GetPoints(), 0.5, false), 1.0);

  // The animation step: the factor changes, nothing is queried again.
  for (float factor : { 1.0f, 0.0f, 0.75f })
  {
    transform->SetFactor(factor);
    filter->Update();
    EXPECT_LE(
      WorstDeviation(s, model->GetPoints(), filter->GetOutput()->GetPoints(), factor, true), 1.0)
      << "factor " << factor;
  }
  // Writing the public member and calling Modified works the same way.
  transform->Factor = 0.25f;
  transform->Modified();
  filter->Update();
  EXPECT_LE(
    WorstDeviation(s, model->GetPoints(), filter->GetOutput()->GetPoints(), 0.25, true), 1.0);
  EXPECT_EQ(transform->Searches(), 6000);

  // Another model through the same filter.
  auto other = Model(2500, 73);
  filter->SetInputData(other);
  filter->Update();
  EXPECT_EQ(transform->Searches(), 11000);
  EXPECT_LE(
    WorstDeviation(s, other->GetPoints(), filter->GetOutput()->GetPoints(), 0.25, false), 1.0);
}

TEST(ShapeTransformCache, NormalsAndEveryVectorArrayGetATuplePerPoint)
{
  Spline s = RandomSpline(100, 0.3f, 81);
  auto model = Model(500, 82);
  vtkNew<vtkShapeTransform> transform;
  transform->SetFactor(1.0f);
  s.HandTo(transform);

  vtkDataArray* inNormals = model->GetPointData()->GetNormals();
  vtkDataArray* inVectors = model->GetPointData()->GetVectors();
  vtkNew<vtkFloatArray> outNormals, outVectors, outExtra;
  for (auto* a : { outNormals.Get(), outVectors.Get(), outExtra.Get() })
  {
    a->SetNumberOfComponents(3);
  }
  vtkDataArray* inArrays[1] = { inVectors };
  vtkDataArray* outArrays[1] = { outExtra };
  vtkNew<vtkPoints> outPoints;
  transform->TransformPointsNormalsVectors(model->GetPoints(), outPoints, inNormals, outNormals,
    inVectors, outVectors, 1, inArrays, outArrays);
  EXPECT_EQ(outPoints->GetNumberOfPoints(), 500);
  EXPECT_LE(WorstDeviation(s, model->GetPoints(), outPoints, 1.0, false), 1.0);
  ASSERT_EQ(outNormals->GetNumberOfTuples(), 500);
  ASSERT_EQ(outVectors->GetNumberOfTuples(), 500);
  ASSERT_EQ(outExtra->GetNumberOfTuples(), 500);
  for (vtkIdType i = 0; i < 500; ++i)
  {
    ASSERT_EQ(inNormals->GetComponent(i, 1), 0.6f);
    ASSERT_EQ(inVectors->GetComponent(i, 2), 0.8f);
    EXPECT_NEAR(vtkMath::Norm(outNormals->GetTuple3(i)), 1.0, 1e-6);
    for (int a = 0; a < 3; ++a)
    {
      ASSERT_EQ(outExtra->GetComponent(i, a), outVectors->GetComponent(i, a));
    }
  }
  // Arrays that do not hold a tuple of three per point are reported and left out.
  vtkNew<vtkFloatArray> shortVectors;
  shortVectors->SetNumberOfComponents(3);
  shortVectors->InsertNextTuple3(1.0, 0.0, 0.0);
  vtkNew<vtkFloatArray> ignored;
  auto reports = Watch(transform);
  vtkNew<vtkPoints> again;
  transform->TransformPointsNormalsVectors(
    model->GetPoints(), again, inNormals, outNormals, shortVectors, ignored, 0, nullptr, nullptr);
  EXPECT_EQ(again->GetNumberOfPoints(), 500);
  EXPECT_EQ(ignored->GetNumberOfTuples(), 0);
  EXPECT_EQ(outNormals->GetNumberOfTuples(), 1000);
  EXPECT_EQ(reports->Errors, 1);
}
