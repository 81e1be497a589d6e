#include "FitNotes.h"

#include "NeighbourStatistics.h"
#include "vtkDatReader.h"

#include <vtkPoints.h>

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
      SuggestRadius(reader->GetPointArray(), reader->GetTree(), AimedNeighbours, reached);
    std::fprintf(out,
      "Pravik: note: the landmarks have %.1f neighbours on average within the radius %g; a "
      "radius of about %.3g gives about %d (%.1f on average over a sample).\n",
      mean, static_cast<double>(radius), suggested, AimedNeighbours, reached);
  }
}
