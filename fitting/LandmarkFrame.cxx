#include "LandmarkFrame.h"

#include <vtkPoints.h>

#include <algorithm>
#include <cmath>

//------------------------------------------------------------------------------
LandmarkFrame::LandmarkFrame(vtkPoints* sources)
{
  const vtkIdType n = sources ? sources->GetNumberOfPoints() : 0;
  if (n == 0)
  {
    return;
  }
  double centroid[3] = { 0.0, 0.0, 0.0 };
  for (vtkIdType k = 0; k < n; ++k)
  {
    const double* p = sources->GetPoint(k);
    for (int a = 0; a < 3; ++a)
    {
      centroid[a] += p[a];
    }
  }
  for (double& c : centroid)
  {
    c /= static_cast<double>(n);
  }
  // How far the landmarks spread around the centroid, and how far the centroid lies from the
  // origin, each as the largest coordinate difference.
  double spread = 0.0;
  for (vtkIdType k = 0; k < n; ++k)
  {
    const double* p = sources->GetPoint(k);
    for (int a = 0; a < 3; ++a)
    {
      spread = std::max(spread, std::fabs(p[a] - centroid[a]));
    }
  }
  const double offset =
    std::max({ std::fabs(centroid[0]), std::fabs(centroid[1]), std::fabs(centroid[2]) });
  if (std::isfinite(offset) && offset > spread)
  {
    this->Shifted = true;
    std::copy_n(centroid, 3, this->Origin);
  }
}

//------------------------------------------------------------------------------
void LandmarkFrame::ToFrame(const double p[3], double out[3]) const
{
  for (int a = 0; a < 3; ++a)
  {
    out[a] = p[a] - this->Origin[a];
  }
}

//------------------------------------------------------------------------------
void LandmarkFrame::FoldIntoAffinePart(
  long long n, float* cx, float* cy, float* cz, double constants[3]) const
{
  float* axes[3] = { cx, cy, cz };
  for (int a = 0; a < 3; ++a)
  {
    float* axis = axes[a];
    if (!this->Shifted)
    {
      constants[a] = axis[n]; // untouched, down to the sign of a zero
      continue;
    }
    // d(x) = c + A (x - o) = (c - A o) + A x
    constants[a] = static_cast<double>(axis[n]) -
      (static_cast<double>(axis[n + 1]) * this->Origin[0] +
        static_cast<double>(axis[n + 2]) * this->Origin[1] +
        static_cast<double>(axis[n + 3]) * this->Origin[2]);
    axis[n] = static_cast<float>(constants[a]);
  }
}
