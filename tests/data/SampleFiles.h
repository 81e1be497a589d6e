// Reading the bundled sample's files for the tests: plain parsing of the landmark lines and
// of the run script's radius, and a comparison of a deformed model with the intended pose.
#ifndef SAMPLE_FILES_H
#define SAMPLE_FILES_H

#include "leg_sample.h"
#include "TempDir.h"

#include <vtkBMPReader.h>
#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkDataArray.h>
#include <vtkFeatureEdges.h>
#include <vtkIdList.h>
#include <vtkImageData.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataNormals.h>
#include <vtkPolyDataReader.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace samplefiles
{

inline const std::string kDataDir = std::string(QUORVEL_SOURCE_DIR) + "/data";

inline std::string ReadFile(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline vtkSmartPointer<vtkPolyData> ReadModel(const std::string& path)
{
  vtkNew<vtkPolyDataReader> reader;
  reader->SetFileName(path.c_str());
  reader->Update();
  vtkSmartPointer<vtkPolyData> model = reader->GetOutput();
  return model;
}

using LandmarkLine = legsample::Landmark;

inline vtkSmartPointer<vtkDataArray> PointNormals(vtkPolyData* surface)
{
  vtkNew<vtkPolyDataNormals> normals;
  normals->SetInputData(surface);
  normals->SplittingOff();
  normals->Update();
  vtkSmartPointer<vtkDataArray> result = normals->GetOutput()->GetPointData()->GetNormals();
  return result;
}

// Parsed by hand, independently of any reader of the product: six numbers, nothing else.
inline std::vector<LandmarkLine> ReadLandmarks(const std::string& path, std::string& problem)
{
  std::vector<LandmarkLine> lines;
  std::ifstream in(path);
  std::string text;
  int number = 0;
  while (std::getline(in, text))
  {
    ++number;
    if (text.size() > 79)
    {
      problem = "line " + std::to_string(number) + " is longer than 79 characters";
      return lines;
    }
    std::istringstream fields(text);
    std::vector<double> values;
    std::string field;
    while (fields >> field)
    {
      char* end = nullptr;
      const double value = std::strtod(field.c_str(), &end);
      if (*end != '\0' || !std::isfinite(value))
      {
        problem = "line " + std::to_string(number) + ": '" + field + "' is not a finite number";
        return lines;
      }
      values.push_back(value);
    }
    if (values.size() != 6)
    {
      problem =
        "line " + std::to_string(number) + " holds " + std::to_string(values.size()) + " numbers";
      return lines;
    }
    lines.push_back({ { values[0], values[1], values[2] }, { values[3], values[4], values[5] } });
  }
  return lines;
}

// The radius the run script fits the sample with: its line "radius=<number>".
inline double RunScriptRadius()
{
  std::istringstream script(ReadFile(std::string(QUORVEL_SOURCE_DIR) + "/scripts/run.sh"));
  const std::string key = "radius=";
  std::string line;
  while (std::getline(script, line))
  {
    if (line.compare(0, key.size(), key) == 0)
    {
      return std::strtod(line.c_str() + key.size(), nullptr);
    }
  }
  return -1.0;
}

inline double Distance(const double* a, const double* b)
{
  return std::sqrt(
    (a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

/// Edges between triangles that meet at more than the angle (degrees). The viewer's normals
/// split the surface at 30 degrees, so any such edge shows as a crease in the shading.
inline vtkIdType SharpEdges(vtkPolyData* surface, double angle)
{
  vtkNew<vtkFeatureEdges> edges;
  edges->SetInputData(surface);
  edges->BoundaryEdgesOff();
  edges->NonManifoldEdgesOff();
  edges->ManifoldEdgesOff();
  edges->FeatureEdgesOn();
  edges->SetFeatureAngle(angle);
  edges->Update();
  return edges->GetOutput()->GetNumberOfCells();
}

/// How closely a deformed copy of the model follows the pose of the landmarks.
struct PoseMatch
{
  double LargestMove = 0; // largest distance of a posed point from its place in the model
  double Rms = 0;         // root mean square distance of deformed and posed points
  double Worst = 0;
  double NormalMean = 0;    // degrees between the deformed and the posed surface normals
  double Normal95 = 0;      // 95th percentile of the same
  vtkIdType SharpEdges = 0; // creases in the deformed surface

  std::string Summary() const
  {
    char text[200];
    std::snprintf(text, sizeof(text),
      "largest move %.4f; position error rms %.5f, worst %.5f; normals off by %.2f degrees "
      "on average, %.2f at the 95th percentile; %lld creases",
      this->LargestMove, this->Rms, this->Worst, this->NormalMean, this->Normal95,
      static_cast<long long>(this->SharpEdges));
    return text;
  }
};

inline PoseMatch ComparePose(vtkPolyData* leg, vtkPoints* deformed)
{
  PoseMatch match;
  vtkNew<vtkPolyData> deformedLeg;
  deformedLeg->DeepCopy(leg);
  deformedLeg->GetPoints()->DeepCopy(deformed);
  vtkNew<vtkPolyData> posedLeg;
  posedLeg->DeepCopy(leg);
  double sumSquares = 0;
  const vtkIdType n = leg->GetNumberOfPoints();
  for (vtkIdType i = 0; i < n; ++i)
  {
    double p[3];
    double posed[3];
    leg->GetPoint(i, p);
    legsample::Warp(p, posed);
    posedLeg->GetPoints()->SetPoint(i, posed);
    const double error = Distance(deformed->GetPoint(i), posed);
    match.Worst = std::max(match.Worst, error);
    sumSquares += error * error;
    match.LargestMove = std::max(match.LargestMove, Distance(p, posed));
  }
  match.Rms = std::sqrt(sumSquares / static_cast<double>(n));

  // Shading follows the normals: dimples around the landmarks show as normals that stray
  // from those of the intended pose even where positions are close.
  vtkSmartPointer<vtkDataArray> deformedNormals = PointNormals(deformedLeg);
  vtkSmartPointer<vtkDataArray> posedNormals = PointNormals(posedLeg);
  std::vector<double> angles;
  for (vtkIdType i = 0; i < n; ++i)
  {
    double a[3];
    double b[3];
    deformedNormals->GetTuple(i, a);
    posedNormals->GetTuple(i, b);
    const double cosine = std::clamp(a[0] * b[0] + a[1] * b[1] + a[2] * b[2], -1.0, 1.0);
    angles.push_back(std::acos(cosine) * 180.0 / 3.14159265358979);
  }
  std::sort(angles.begin(), angles.end());
  for (double angle : angles)
  {
    match.NormalMean += angle / static_cast<double>(angles.size());
  }
  match.Normal95 = angles[angles.size() * 95 / 100];
  match.SharpEdges = SharpEdges(deformedLeg, 30.0);
  return match;
}

/// Close enough that the deformed leg looks like the posed one, shading included.
inline void ExpectSmoothMatch(const PoseMatch& match)
{
  EXPECT_LT(match.Rms, 0.0015) << match.Summary();
  EXPECT_LT(match.Worst, 0.012) << match.Summary();
  EXPECT_LT(match.NormalMean, 1.5) << match.Summary();
  EXPECT_LT(match.Normal95, 5.0) << match.Summary();
  EXPECT_EQ(match.SharpEdges, 0) << match.Summary();
}

} // namespace samplefiles

#endif
