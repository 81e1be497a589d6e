#include "LandmarkEdits.h"

#include "LandmarkPairs.h"

#include <vtkPoints.h>

namespace
{
// Rebuilds points with one point inserted at index (point != null) or removed (null).
void Splice(vtkPoints* points, vtkIdType index, const double* point)
{
  const vtkIdType n = points->GetNumberOfPoints();
  if (point)
  {
    points->InsertNextPoint(point); // grows by one; the tail shifts up below
    for (vtkIdType i = n; i > index; --i)
    {
      double moved[3];
      points->GetPoint(i - 1, moved);
      points->SetPoint(i, moved);
    }
    points->SetPoint(index, point);
  }
  else
  {
    for (vtkIdType i = index; i + 1 < n; ++i)
    {
      double moved[3];
      points->GetPoint(i + 1, moved);
      points->SetPoint(i, moved);
    }
    points->SetNumberOfPoints(n - 1);
  }
  points->Modified();
}
}

namespace LandmarkEdits
{
//------------------------------------------------------------------------------
void RoundToStored(const double in[3], double out[3])
{
  for (int k = 0; k < 3; ++k)
  {
    out[k] = static_cast<double>(static_cast<float>(in[k]));
  }
}

//------------------------------------------------------------------------------
bool SourceCoincides(const LandmarkPairs& pairs, const double source[3], vtkIdType except)
{
  double s[3];
  RoundToStored(source, s);
  vtkPoints* sources = pairs.GetSources();
  const vtkIdType n = sources->GetNumberOfPoints();
  for (vtkIdType i = 0; i < n; ++i)
  {
    double p[3];
    sources->GetPoint(i, p);
    if (i != except && p[0] == s[0] && p[1] == s[1] && p[2] == s[2])
    {
      return true;
    }
  }
  return false;
}

//------------------------------------------------------------------------------
void InsertPair(
  LandmarkPairs& pairs, vtkIdType index, const double source[3], const double target[3])
{
  double s[3];
  double t[3];
  RoundToStored(source, s);
  RoundToStored(target, t);
  Splice(pairs.GetSources(), index, s);
  Splice(pairs.GetTargets(), index, t);
  pairs.Modified();
}

//------------------------------------------------------------------------------
vtkIdType AddPair(LandmarkPairs& pairs, const double source[3], const double target[3])
{
  const vtkIdType index = pairs.GetCount();
  InsertPair(pairs, index, source, target);
  return index;
}

//------------------------------------------------------------------------------
void MoveSource(LandmarkPairs& pairs, vtkIdType index, const double source[3])
{
  double s[3];
  RoundToStored(source, s);
  pairs.GetSources()->SetPoint(index, s);
  pairs.GetSources()->Modified();
  pairs.Modified();
}

//------------------------------------------------------------------------------
void MoveTarget(LandmarkPairs& pairs, vtkIdType index, const double target[3])
{
  double t[3];
  RoundToStored(target, t);
  pairs.GetTargets()->SetPoint(index, t);
  pairs.GetTargets()->Modified();
  pairs.Modified();
}

//------------------------------------------------------------------------------
void RemovePair(LandmarkPairs& pairs, vtkIdType index)
{
  Splice(pairs.GetSources(), index, nullptr);
  Splice(pairs.GetTargets(), index, nullptr);
  pairs.Modified();
}
}
