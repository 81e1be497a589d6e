// Models that exercise the display pipeline's normals and thresholds, placed where the
// sample's landmarks deform them: a sheet folded along a crease sharper than the normals'
// feature angle (its points are split there), and a closed tube whose cells are not
// consistently oriented (the normals filter reorders them). Cells around the lower calf
// (0.45 < x < 0.75) are labelled 0 (textured), the others 1 (body).
#ifndef DisplayModels_h
#define DisplayModels_h

#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkFloatArray.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataReader.h>
#include <vtkPolyDataWriter.h>
#include <vtkSmartPointer.h>

#include <cmath>
#include <string>

namespace displaymodels
{
inline float Label(double x)
{
  return (x > 0.45 && x < 0.75) ? 0.0f : 1.0f;
}

// Triangles over a grid of rows x columns points; point (i, j) is i * columns + j.
inline void AddGridTriangles(vtkPolyData* model, int rows, int columns, bool wrap, int flipEvery)
{
  vtkNew<vtkCellArray> cells;
  vtkNew<vtkFloatArray> labels;
  labels->SetName("region");
  vtkIdType made = 0;
  for (int i = 0; i + 1 < rows; ++i)
  {
    for (int j = 0; j < (wrap ? columns : columns - 1); ++j)
    {
      const vtkIdType a = static_cast<vtkIdType>(i) * columns + j;
      const vtkIdType b = static_cast<vtkIdType>(i) * columns + (j + 1) % columns;
      const vtkIdType triangles[2][3] = { { a, b, b + columns }, { a, b + columns, a + columns } };
      for (const auto& t : triangles)
      {
        double centre = 0;
        for (vtkIdType id : t)
        {
          centre += model->GetPoint(id)[0] / 3;
        }
        const bool flip = flipEvery > 0 && made++ % flipEvery == 0;
        const vtkIdType flipped[3] = { t[0], t[2], t[1] };
        cells->InsertNextCell(3, flip ? flipped : t);
        labels->InsertNextValue(Label(centre));
      }
    }
  }
  model->SetPolys(cells);
  model->GetCellData()->SetScalars(labels);
}

// A sheet along the leg folded along x = 0.2 with a crease of 2 * atan(slope) (40 degrees
// for the default slope, above the feature angle of 30).
inline vtkSmartPointer<vtkPolyData> CreasedSheet(
  double slope = std::tan(20 * std::acos(-1.0) / 180))
{
  const int rows = 24, columns = 59; // a column of points on the crease
  vtkNew<vtkPoints> points;
  for (int i = 0; i < rows; ++i)
  {
    for (int j = 0; j < columns; ++j)
    {
      const double x = -0.5 + 0.025 * j;
      points->InsertNextPoint(x, -0.12 + 0.24 * i / (rows - 1), -0.2 + slope * std::fabs(x - 0.2));
    }
  }
  auto sheet = vtkSmartPointer<vtkPolyData>::New();
  sheet->SetPoints(points);
  AddGridTriangles(sheet, rows, columns, false, 0);
  return sheet;
}

// A closed tube around the leg's axis with every third triangle turned the other way.
inline vtkSmartPointer<vtkPolyData> MisorientedTube()
{
  const int rings = 50, segments = 40;
  const double pi = std::acos(-1.0);
  vtkNew<vtkPoints> points;
  for (int i = 0; i < rings; ++i)
  {
    const double t = static_cast<double>(i) / (rings - 1);
    const double radius = 0.13 - 0.08 * t;
    for (int j = 0; j < segments; ++j)
    {
      const double a = 2 * pi * j / segments;
      points->InsertNextPoint(-0.52 + 1.5 * t, radius * std::cos(a), -0.27 + radius * std::sin(a));
    }
  }
  auto tube = vtkSmartPointer<vtkPolyData>::New();
  tube->SetPoints(points);
  AddGridTriangles(tube, rings, segments, true, 3);
  return tube;
}

inline vtkSmartPointer<vtkPolyData> Read(const std::string& path)
{
  vtkNew<vtkPolyDataReader> reader;
  reader->SetFileName(path.c_str());
  reader->Update();
  return reader->GetOutput();
}

inline bool Write(vtkPolyData* model, const std::string& path)
{
  vtkNew<vtkPolyDataWriter> writer;
  writer->SetInputData(model);
  writer->SetFileName(path.c_str());
  return writer->Write() == 1;
}
}

#endif
