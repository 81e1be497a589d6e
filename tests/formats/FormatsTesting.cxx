#include "FormatsTesting.h"

#include "TransformFile.h"

#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkFloatArray.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <cmath>
#include <vector>

namespace formats
{
namespace
{
const float Radius = 0.9f;
// Landmark positions (file order), their ordered positions, and N + 4 coefficients per axis.
const float Landmarks[][3] = { { 0.0f, 1.0f, 0.0f }, { 0.5f, 0.0f, 1.0f }, { 1.0f, -1.0f, 0.0f },
  { 0.3f, 0.7f, 0.7f }, { 0.8f, 0.7f, 0.7f } };
const int Order[] = { 2, 0, 4, 1, 3 };
const float Coeff[3][9] = { { 0.05f, -0.02f, 0.03f, 0.01f, -0.04f, 0.01f, 0.02f, -0.01f, 0.005f },
  { -0.03f, 0.04f, 0.02f, -0.05f, 0.01f, -0.02f, 0.01f, 0.03f, -0.01f },
  { 0.02f, 0.01f, -0.03f, 0.04f, 0.02f, 0.015f, -0.02f, 0.01f, 0.02f } };
constexpr int N = 5;
}

vtkSmartPointer<vtkPolyData> SmallModel()
{
  const int nx = 9;
  const int ny = 7;
  vtkNew<vtkPoints> points;
  vtkNew<vtkFloatArray> warmth;
  warmth->SetName("warmth");
  vtkNew<vtkFloatArray> uv;
  uv->SetName("uv");
  uv->SetNumberOfComponents(2);
  vtkNew<vtkFloatArray> normals;
  normals->SetName("Normals");
  normals->SetNumberOfComponents(3);
  for (int j = 0; j < ny; ++j)
  {
    for (int i = 0; i < nx; ++i)
    {
      const double a = 3.14159 * i / (nx - 1);
      points->InsertNextPoint(0.2 * j, std::cos(a), std::sin(a));
      warmth->InsertNextValue(static_cast<float>(10 * j + i));
      uv->InsertNextTuple2(i / (nx - 1.0), j / (ny - 1.0));
      normals->InsertNextTuple3(0.0, std::cos(a), std::sin(a));
    }
  }
  vtkNew<vtkCellArray> polys;
  vtkNew<vtkFloatArray> region;
  region->SetName("region");
  for (int j = 0; j + 1 < ny; ++j)
  {
    for (int i = 0; i + 1 < nx; ++i)
    {
      const vtkIdType a = j * nx + i;
      const vtkIdType t1[3] = { a, a + 1, a + nx + 1 };
      const vtkIdType t2[3] = { a, a + nx + 1, a + nx };
      polys->InsertNextCell(3, t1);
      polys->InsertNextCell(3, t2);
      region->InsertNextValue(j < 3 ? 1.0f : 0.0f);
      region->InsertNextValue(j < 3 ? 1.0f : 0.0f);
    }
  }
  auto model = vtkSmartPointer<vtkPolyData>::New();
  model->SetPoints(points);
  model->SetPolys(polys);
  model->GetCellData()->SetScalars(region);
  model->GetPointData()->SetScalars(warmth);
  model->GetPointData()->SetTCoords(uv);
  model->GetPointData()->SetNormals(normals);
  return model;
}

void WriteSmallTransform(const std::string& path)
{
  vtkNew<vtkPoints> points;
  for (const auto& p : Landmarks)
  {
    points->InsertNextPoint(p[0], p[1], p[2]);
  }
  TransformWriteStatus status = WriteTransformCoefficients(
    path.c_str(), Radius, points, Coeff[0], Coeff[1], Coeff[2], Order);
  if (status != TransformWriteStatus::Ok)
  {
    throw std::runtime_error("cannot write " + path);
  }
}

void SmallDisplacement(const double x[3], double d[3])
{
  // The file holds six decimals: evaluate what a reader gets back.
  auto stored = [](float v) { return std::round(static_cast<double>(v) * 1e6) / 1e6; };
  bool reached = false;
  d[0] = d[1] = d[2] = 0.0;
  for (int k = 0; k < N; ++k)
  {
    double r2 = 0.0;
    for (int a = 0; a < 3; ++a)
    {
      const double t = stored(Landmarks[k][a]) - x[a];
      r2 += t * t;
    }
    const double r = std::sqrt(r2);
    if (r > stored(Radius))
    {
      continue;
    }
    reached = true;
    const double w = (1.0 - r / stored(Radius)) * (1.0 - r / stored(Radius));
    for (int a = 0; a < 3; ++a)
    {
      d[a] += w * stored(Coeff[a][Order[k]]);
    }
  }
  if (reached)
  {
    for (int a = 0; a < 3; ++a)
    {
      d[a] += stored(Coeff[a][N]) + stored(Coeff[a][N + 1]) * x[0] +
        stored(Coeff[a][N + 2]) * x[1] + stored(Coeff[a][N + 3]) * x[2];
    }
  }
}
}
