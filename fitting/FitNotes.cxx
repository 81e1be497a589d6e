#include "FitNotes.h"

#include "vtkDatReader.h"

#include <vtkIdList.h>
#include <vtkMath.h>
#include <vtkNew.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace
{
/// Landmarks looked at to suggest a radius: enough for a stable median, few enough to cost
/// nothing next to the fit.
constexpr vtkIdType SampleSize = 1000;

/**
 * A radius within which the landmarks have about AimedNeighbours others: the median, over
 * a sample of landmarks, of the distance to their AimedNeighbours-th nearest other landmark.
 * mean receives the mean neighbour count of the sample at that radius.
 */
double SuggestRadius(vtkPoints* points, vtkPointLocator* locator, double& mean)
{
  const vtkIdType n = points->GetNumberOfPoints();
  const vtkIdType step = std::max<vtkIdType>(1, n / SampleSize);
  vtkNew<vtkIdList> ids;
  std::vector<double> reach;
  for (vtkIdType i = 0; i < n; i += step)
  {
    double x[3];
    points->GetPoint(i, x);
    locator->FindClosestNPoints(AimedNeighbours + 1, x, ids);
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

  long long total = 0;
  for (vtkIdType i = 0; i < n; i += step)
  {
    double x[3];
    points->GetPoint(i, x);
    locator->FindPointsWithinRadius(radius, x, ids);
    total += ids->GetNumberOfIds() - 1;
  }
  mean = static_cast<double>(total) / static_cast<double>(reach.size());
  return radius;
}
}

//------------------------------------------------------------------------------
void PrintFitNotes(std::FILE* out, const char* radiusText, vtkDatReader* reader)
{
  const float radius = reader->GetRadius();
  const vtkIdType n = reader->GetPointArray()->GetNumberOfPoints();
  if (!(radius > 0.0f))
  {
    std::fprintf(out,
      "Pravik: note: the radius \"%s\" is not a positive number: the fit is the affine part "
      "alone (the least-squares affine map of the landmarks), which Halden applies with a "
      "warning.\n",
      radiusText);
  }
  if (!(radius > 0.0f) || n == 0)
  {
    return;
  }
  const NeighbourCounts& counts = reader->GetNeighbourCounts();
  if (counts.Lonely > 0)
  {
    std::fprintf(out,
      "Pravik: note: %d of %lld landmarks have no other landmark within the radius %g; the "
      "spline does not join them to the rest.\n",
      counts.Lonely, static_cast<long long>(n), static_cast<double>(radius));
  }
  const double mean = static_cast<double>(counts.Total) / static_cast<double>(n);
  if (n > AimedNeighbours && (mean < FewNeighbours || mean > ManyNeighbours))
  {
    double reached = 0.0;
    const double suggested =
      SuggestRadius(reader->GetPointArray(), reader->GetTree(), reached);
    std::fprintf(out,
      "Pravik: note: the landmarks have %.1f neighbours on average within the radius %g; a "
      "radius of about %.3g gives about %d (%.1f on average over a sample).\n",
      mean, static_cast<double>(radius), suggested, AimedNeighbours, reached);
  }
}
