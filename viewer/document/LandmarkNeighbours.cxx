#include "LandmarkNeighbours.h"

#include "FitNotes.h" // AimedNeighbours
#include "LandmarkPairs.h"

#include <vtkPointLocator.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <algorithm>
#include <cmath>

namespace
{
/// Landmarks whose neighbours estimate the work of a full count.
constexpr vtkIdType EstimateSample = 200;
}

//------------------------------------------------------------------------------
LandmarkNeighbours::LandmarkNeighbours() = default;

//------------------------------------------------------------------------------
LandmarkNeighbours::~LandmarkNeighbours() = default;

//------------------------------------------------------------------------------
void LandmarkNeighbours::Locate(const LandmarkPairs& pairs)
{
  if (this->Built && this->Located == pairs.GetMTime() && this->Points == pairs.GetSources())
  {
    return;
  }
  this->Points = pairs.GetSources();
  auto data = vtkSmartPointer<vtkPolyData>::New();
  data->SetPoints(this->Points);
  this->Locator = vtkSmartPointer<vtkPointLocator>::New();
  this->Locator->SetDataSet(data);
  if (this->Points->GetNumberOfPoints() > 0)
  {
    this->Locator->BuildLocator();
  }
  this->Located = pairs.GetMTime();
  this->Built = true;
}

//------------------------------------------------------------------------------
NeighbourStatistics LandmarkNeighbours::Count(const LandmarkPairs& pairs, double radius)
{
  this->Locate(pairs);
  const vtkIdType n = this->Points->GetNumberOfPoints();
  if (n == 0)
  {
    return NeighbourStatistics();
  }
  const vtkIdType sampleStep = std::max<vtkIdType>(1, n / EstimateSample);
  const double estimate =
    CountNeighbourStatistics(this->Points, this->Locator, radius, sampleStep).Mean *
    static_cast<double>(n);
  const double budget = static_cast<double>(std::max<vtkIdType>(1, this->CountBudget));
  const vtkIdType step =
    estimate > budget ? static_cast<vtkIdType>(std::ceil(estimate / budget)) : 1;
  return CountNeighbourStatistics(this->Points, this->Locator, radius, step);
}

//------------------------------------------------------------------------------
double LandmarkNeighbours::Suggest(const LandmarkPairs& pairs)
{
  this->Locate(pairs);
  double mean = 0.0;
  return SuggestRadius(this->Points, this->Locator, AimedNeighbours, mean);
}
