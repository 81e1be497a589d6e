#include "NeighbourStatistics.h"

#include <vtkIdList.h>
#include <vtkMath.h>
#include <vtkNew.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace
{
/// Landmarks looked at to suggest a radius: enough for a stable median, few enough to cost
/// nothing next to the fit.
constexpr vtkIdType SampleSize = 1000;
}

//------------------------------------------------------------------------------
NeighbourStatistics CountNeighbourStatistics(
  vtkPoints* points, vtkPointLocator* locator, double radius, vtkIdType step)
{
  NeighbourStatistics s;
  const vtkIdType n = points ? points->GetNumberOfPoints() : 0;
  step = std::max<vtkIdType>(1, step);
  if (n == 0)
  {
    return s;
  }
  const bool searched = radius > 0.0 && std::isfinite(radius);
  s.Fewest = std::numeric_limits<vtkIdType>::max();
  double total = 0.0;
  vtkNew<vtkIdList> ids;
  for (vtkIdType i = 0; i < n; i += step)
  {
    vtkIdType others = 0;
    if (searched)
    {
      double x[3];
      points->GetPoint(i, x);
      locator->FindPointsWithinRadius(radius, x, ids);
      others = ids->GetNumberOfIds() - (ids->IsId(i) >= 0 ? 1 : 0);
    }
    s.Fewest = std::min(s.Fewest, others);
    s.Most = std::max(s.Most, others);
    s.Lonely += others == 0 ? 1 : 0;
    total += static_cast<double>(others);
    ++s.Counted;
  }
  s.Mean = total / static_cast<double>(s.Counted);
  return s;
}

//------------------------------------------------------------------------------
double SuggestRadius(vtkPoints* points, vtkPointLocator* locator, int aimed, double& mean)
{
  mean = 0.0;
  const vtkIdType n = points ? points->GetNumberOfPoints() : 0;
  if (n < 2 || aimed < 1)
  {
    return 0.0;
  }
  const vtkIdType step = std::max<vtkIdType>(1, n / SampleSize);
  vtkNew<vtkIdList> ids;
  std::vector<double> reach;
  for (vtkIdType i = 0; i < n; i += step)
  {
    double x[3];
    points->GetPoint(i, x);
    locator->FindClosestNPoints(aimed + 1, x, ids);
    double farthest = 0.0;
    for (vtkIdType k = 0; k < ids->GetNumberOfIds(); ++k)
    {
      double p[3];
      points->GetPoint(ids->GetId(k), p);
      farthest = std::max(farthest, std::sqrt(vtkMath::Distance2BetweenPoints(x, p)));
    }
    reach.push_back(farthest);
  }
  std::nth_element(reach.begin(), reach.begin() + reach.size() / 2, reach.end());
  const double radius = reach[reach.size() / 2];
  mean = CountNeighbourStatistics(points, locator, radius, step).Mean;
  return radius;
}
