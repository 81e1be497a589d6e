// Normals and vectors through VTK's transform filters: carried by the Jacobian of the map,
// checked against finite differences of the transform itself, whole data sets out (every
// attribute as long as the points), and a .vtp that reads back as written.
#include "ShapeTransformTesting.h"
#include "TempDir.h"
#include "vtkShapeTransform.h"

#include "vtkCellArray.h"
#include "vtkCellType.h"
#include "vtkDoubleArray.h"
#include "vtkFloatArray.h"
#include "vtkMath.h"
#include "vtkNew.h"
#include "vtkPointData.h"
#include "vtkPolyData.h"
#include "vtkTransformFilter.h"
#include "vtkTransformPolyDataFilter.h"
#include "vtkUnstructuredGrid.h"
#include "vtkXMLPolyDataReader.h"
#include "vtkXMLPolyDataWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

using namespace shape_testing;

namespace
{
// A polygonal model (triangles over random points) with unit normals and vectors of uneven
// length on its points, in random directions.
vtkSmartPointer<vtkPolyData> Model(vtkIdType n, unsigned seed, int dataType = VTK_FLOAT)
{
  auto model = vtkSmartPointer<vtkPolyData>::New();
  model->SetPoints(RandomPoints(n, seed, 0.05, 0.95, dataType));
  vtkNew<vtkCellArray> triangles;
  for (vtkIdType i = 0; i + 3 <= n; i += 3)
  {
    const vtkIdType ids[3] = { i, i + 1, i + 2 };
    triangles->InsertNextCell(3, ids);
  }
  model->SetPolys(triangles);
  vtkSmartPointer<vtkDataArray> normals;
  vtkSmartPointer<vtkDataArray> vectors;
  normals.TakeReference(vtkDataArray::CreateDataArray(dataType));
  vectors.TakeReference(vtkDataArray::CreateDataArray(dataType));
  normals->SetName("Normals");
  vectors->SetName("Flow");
  normals->SetNumberOfComponents(3);
  vectors->SetNumberOfComponents(3);
  std::mt19937 rng(seed);
  std::normal_distribution<double> gauss;
  for (vtkIdType i = 0; i < n; ++i)
  {
    double v[3] = { gauss(rng), gauss(rng), gauss(rng) };
    vectors->InsertNextTuple(v);
    vtkMath::Normalize(v);
    normals->InsertNextTuple(v);
  }
  model->GetPointData()->SetNormals(normals);
  model->GetPointData()->SetVectors(vectors);
  return model;
}

// The map's derivative along v at x by central differences of TransformPoint.
void Along(
  vtkAbstractTransform* transform, const double x[3], const double v[3], double h, double out[3])
{
  double plus[3];
  double minus[3];
  for (int a = 0; a < 3; ++a)
  {
    plus[a] = x[a] + h * v[a];
    minus[a] = x[a] - h * v[a];
  }
  transform->TransformPoint(plus, plus);
  transform->TransformPoint(minus, minus);
  for (int a = 0; a < 3; ++a)
  {
    out[a] = (plus[a] - minus[a]) / (2.0 * h);
  }
}

// Whether the displacement is smooth around x: every sample of a difference step h sees the
// same landmarks, none of them at a kernel's tip.
bool Smooth(const Spline& s, const double x[3], double h)
{
  const int neighbours = ReferenceDisplacement(s, x).Neighbors;
  if (neighbours == 0)
  {
    return false;
  }
  for (int b = 0; b < 3; ++b)
  {
    for (double sign : { -2.0, 2.0 })
    {
      double y[3] = { x[0], x[1], x[2] };
      y[b] += sign * h;
      if (ReferenceDisplacement(s, y).Neighbors != neighbours)
      {
        return false;
      }
    }
  }
  for (vtkIdType k = 0; k < s.N(); ++k)
  {
    if (std::sqrt(vtkMath::Distance2BetweenPoints(x, s.Points->GetPoint(k))) < 100 * h)
    {
      return false;
    }
  }
  return true;
}

// Checks the carried vectors and normals of every smooth point against finite differences:
// a vector v goes to the derivative along v; a normal n to the unit vector perpendicular to
// the carried tangents a, b of n, on the side of their cross product. Returns the points
// checked.
int ExpectCarriedByTheJacobian(const Spline& s, vtkAbstractTransform* transform, vtkPointSet* in,
  vtkPointSet* out, double tolerance)
{
  vtkDataArray* inNormals = in->GetPointData()->GetNormals();
  vtkDataArray* inVectors = in->GetPointData()->GetVectors();
  vtkDataArray* normals = out->GetPointData()->GetNormals();
  vtkDataArray* vectors = out->GetPointData()->GetVectors();
  EXPECT_TRUE(normals && vectors);
  if (!normals || !vectors)
  {
    return 0;
  }
  EXPECT_EQ(normals->GetNumberOfTuples(), in->GetNumberOfPoints());
  EXPECT_EQ(vectors->GetNumberOfTuples(), in->GetNumberOfPoints());
  const double h = 1e-5;
  int checked = 0;
  for (vtkIdType i = 0; i < in->GetNumberOfPoints(); ++i)
  {
    double x[3];
    in->GetPoint(i, x);
    if (!Smooth(s, x, h))
    {
      continue;
    }
    ++checked;
    double v[3];
    inVectors->GetTuple(i, v);
    double expected[3];
    Along(transform, x, v, h, expected);
    const double scale = vtkMath::Norm(v);
    for (int a = 0; a < 3; ++a)
    {
      EXPECT_NEAR(vectors->GetComponent(i, a), expected[a], tolerance * scale)
        << "vector of point " << i << ", component " << a;
    }

    double n[3];
    inNormals->GetTuple(i, n);
    double tangentA[3];
    double tangentB[3];
    vtkMath::Perpendiculars(n, tangentA, tangentB, 0.3);
    double carriedA[3];
    double carriedB[3];
    Along(transform, x, tangentA, h, carriedA);
    Along(transform, x, tangentB, h, carriedB);
    double normal[3];
    vtkMath::Cross(carriedA, carriedB, normal);
    vtkMath::Normalize(normal);
    for (int a = 0; a < 3; ++a)
    {
      EXPECT_NEAR(normals->GetComponent(i, a), normal[a], tolerance)
        << "normal of point " << i << ", component " << a;
    }
  }
  return checked;
}
}

TEST(ShapeTransformAttributes, FilterCarriesNormalsAndVectorsByTheJacobian)
{
  // Moves of up to a fifth of the radius: the normals turn visibly.
  Spline s = RandomSpline(150, 0.3f, 401, 0.0, 1.0, 0.05);
  for (int dataType : { VTK_FLOAT, VTK_DOUBLE })
  {
    auto model = Model(600, 402, dataType);
    vtkNew<vtkShapeTransform> transform;
    s.HandTo(transform);
    vtkNew<vtkTransformPolyDataFilter> filter;
    filter->SetTransform(transform);
    filter->SetInputData(model);
    if (dataType == VTK_DOUBLE)
    {
      filter->SetOutputPointsPrecision(vtkAlgorithm::DOUBLE_PRECISION);
    }
    // The first factor fills the caches, the second is served from them.
    for (float t : { 1.0f, -0.7f })
    {
      transform->SetFactor(t);
      filter->Update();
      vtkPolyData* out = filter->GetOutput();
      ASSERT_EQ(out->GetNumberOfPoints(), 600);
      EXPECT_EQ(out->CheckAttributes(), 0);
      EXPECT_GT(ExpectCarriedByTheJacobian(s, transform, model, out, 2e-5), 300)
        << "type " << dataType << ", factor " << t;
    }
  }
}

TEST(ShapeTransformAttributes, CachedStepsSearchNoLandmarks)
{
  Spline s = RandomSpline(100, 0.3f, 411, 0.0, 1.0, 0.05);
  auto model = Model(3000, 412);
  vtkNew<ProbedTransform> transform;
  s.HandTo(transform);
  vtkNew<vtkTransformPolyDataFilter> filter;
  filter->SetTransform(transform);
  filter->SetInputData(model);
  transform->SetFactor(0.25f);
  filter->Update();
  // One pass for the displacements, one for the gradients.
  EXPECT_EQ(transform->Searches(), 6000);
  vtkNew<vtkFloatArray> firstNormals;
  firstNormals->DeepCopy(filter->GetOutput()->GetPointData()->GetNormals());

  transform->SetFactor(0.5f);
  filter->Update();
  transform->SetFactor(0.25f);
  filter->Update();
  EXPECT_EQ(transform->Searches(), 6000);
  vtkDataArray* normals = filter->GetOutput()->GetPointData()->GetNormals();
  ASSERT_EQ(normals->GetNumberOfTuples(), 3000);
  for (vtkIdType i = 0; i < 3000; ++i)
  {
    for (int a = 0; a < 3; ++a)
    {
      ASSERT_EQ(normals->GetComponent(i, a), firstNormals->GetComponent(i, a)) << "point " << i;
    }
  }
}

TEST(ShapeTransformAttributes, IdentityCopiesAndTheInverseCarriesBack)
{
  Spline s = RandomSpline(150, 0.3f, 421, 0.0, 1.0, 0.01);
  auto model = Model(600, 422);
  vtkNew<vtkShapeTransform> transform;

  // Without parameters: the attributes come out as they went in.
  vtkNew<vtkTransformPolyDataFilter> forward;
  forward->SetTransform(transform);
  forward->SetInputData(model);
  forward->Update();
  for (const char* name : { "Normals", "Flow" })
  {
    vtkDataArray* before = model->GetPointData()->GetArray(name);
    vtkDataArray* after = forward->GetOutput()->GetPointData()->GetArray(name);
    ASSERT_NE(after, nullptr) << name;
    ASSERT_EQ(after->GetNumberOfTuples(), 600) << name;
    for (vtkIdType i = 0; i < 600; ++i)
    {
      for (int a = 0; a < 3; ++a)
      {
        ASSERT_EQ(after->GetComponent(i, a), before->GetComponent(i, a)) << name << " " << i;
      }
    }
  }

  // Forward and then inverse: the vectors and normals come back.
  s.HandTo(transform);
  transform->SetFactor(0.8f);
  vtkNew<vtkTransformPolyDataFilter> back;
  back->SetTransform(transform->GetInverse());
  back->SetInputConnection(forward->GetOutputPort());
  back->Update();
  vtkPolyData* restored = back->GetOutput();
  EXPECT_EQ(restored->CheckAttributes(), 0);
  for (const char* name : { "Normals", "Flow" })
  {
    vtkDataArray* before = model->GetPointData()->GetArray(name);
    vtkDataArray* after = restored->GetPointData()->GetArray(name);
    ASSERT_NE(after, nullptr) << name;
    ASSERT_EQ(after->GetNumberOfTuples(), 600) << name;
    for (vtkIdType i = 0; i < 600; ++i)
    {
      const double scale = vtkMath::Norm(before->GetTuple3(i));
      for (int a = 0; a < 3; ++a)
      {
        ASSERT_NEAR(after->GetComponent(i, a), before->GetComponent(i, a), 1e-5 * scale)
          << name << " of point " << i;
      }
    }
  }
}

TEST(ShapeTransformAttributes, UnstructuredGridAndAWrittenFileAreWhole)
{
  Spline s = RandomSpline(150, 0.3f, 431, 0.0, 1.0, 0.05);
  auto model = Model(900, 432);
  vtkNew<vtkShapeTransform> transform;
  s.HandTo(transform);
  transform->SetFactor(1.0f);

  vtkNew<vtkUnstructuredGrid> grid;
  grid->SetPoints(model->GetPoints());
  for (vtkIdType c = 0; c + 4 <= 900; c += 4)
  {
    const vtkIdType ids[4] = { c, c + 1, c + 2, c + 3 };
    grid->InsertNextCell(VTK_TETRA, 4, ids);
  }
  grid->GetPointData()->ShallowCopy(model->GetPointData());
  vtkNew<vtkTransformFilter> general;
  general->SetTransform(transform);
  general->SetInputData(grid);
  general->Update();
  EXPECT_EQ(general->GetOutput()->CheckAttributes(), 0);
  EXPECT_GT(ExpectCarriedByTheJacobian(s, transform, grid, general->GetOutput(), 2e-5), 450);

  vtkNew<vtkTransformPolyDataFilter> filter;
  filter->SetTransform(transform);
  filter->SetInputData(model);
  filter->Update();
  const testsupport::TempDir dir("shape-transform-attributes-");
  ASSERT_FALSE(dir.Get().empty());
  const std::string path = dir.Path("deformed.vtp");
  vtkNew<vtkXMLPolyDataWriter> writer;
  writer->SetInputConnection(filter->GetOutputPort());
  writer->SetFileName(path.c_str());
  ASSERT_EQ(writer->Write(), 1);
  vtkNew<vtkXMLPolyDataReader> reader;
  reader->SetFileName(path.c_str());
  reader->Update();
  vtkPolyData* read = reader->GetOutput();
  ASSERT_EQ(read->GetNumberOfPoints(), 900);
  EXPECT_EQ(read->GetNumberOfPolys(), 300);
  EXPECT_EQ(read->CheckAttributes(), 0);
  vtkPolyData* written = filter->GetOutput();
  for (vtkIdType i = 0; i < 900; ++i)
  {
    for (int a = 0; a < 3; ++a)
    {
      ASSERT_EQ(read->GetPoint(i)[a], written->GetPoint(i)[a]) << "point " << i;
      ASSERT_EQ(read->GetPointData()->GetNormals()->GetComponent(i, a),
        written->GetPointData()->GetNormals()->GetComponent(i, a))
        << "normal " << i;
    }
  }
}
