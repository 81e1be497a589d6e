#include "LandmarkGrid.h"

#include <limits>
#include <new>

namespace spline_kernel
{
namespace
{
// Cells a little wider than the radius: the cell of a coordinate is computed with rounding
// (a relative error of a few units in the last place of the cell index, below 1e-9 for
// 2^20 cells), and the margin keeps two coordinates within reach at most one cell apart.
constexpr double WidthMargin = 1.0 + 1e-6;
constexpr double MaxCellsPerAxis = 1 << 20;
// At most this many cells per landmark (plus a few): the cell table costs 4 bytes a cell.
constexpr double CellsPerLandmark = 4.0;
constexpr double ExtraCells = 4096.0;
}

void LandmarkGrid::Sort(std::vector<PackedLandmark> landmarks, double radius)
{
  if (landmarks.size() >= std::numeric_limits<uint32_t>::max())
  {
    throw std::bad_alloc();
  }
  double lo[3] = { 0.0, 0.0, 0.0 };
  double hi[3] = { 0.0, 0.0, 0.0 };
  if (!landmarks.empty())
  {
    for (int a = 0; a < 3; ++a)
    {
      lo[a] = hi[a] = landmarks[0].P[a];
    }
  }
  for (const PackedLandmark& l : landmarks)
  {
    for (int a = 0; a < 3; ++a)
    {
      lo[a] = std::min(lo[a], l.P[a]);
      hi[a] = std::max(hi[a], l.P[a]);
    }
  }
  double extent[3];
  bool finite = std::isfinite(radius * WidthMargin);
  for (int a = 0; a < 3; ++a)
  {
    this->Origin[a] = lo[a];
    extent[a] = hi[a] - lo[a];
    finite = finite && std::isfinite(extent[a]);
  }

  // The widths tried grow until the grid is small enough; one cell holds everything when the
  // spread (or the radius) is beyond double precision.
  this->Width = radius * WidthMargin;
  // Cell indices are 32-bit.
  const double maxCells =
    std::min(CellsPerLandmark * static_cast<double>(landmarks.size()) + ExtraCells, 2147483648.0);
  for (;;)
  {
    if (!finite)
    {
      this->Dims[0] = this->Dims[1] = this->Dims[2] = 1;
      break;
    }
    double dims[3];
    for (int a = 0; a < 3; ++a)
    {
      dims[a] = std::floor(extent[a] / this->Width) + 1.0;
    }
    if (dims[0] <= MaxCellsPerAxis && dims[1] <= MaxCellsPerAxis && dims[2] <= MaxCellsPerAxis &&
      dims[0] * dims[1] * dims[2] <= maxCells)
    {
      for (int a = 0; a < 3; ++a)
      {
        this->Dims[a] = static_cast<int>(dims[a]);
      }
      break;
    }
    this->Width *= 1.5;
    finite = std::isfinite(this->Width);
  }

  // The cell of each landmark, by the expression ForEachRange uses for points.
  const size_t cells = static_cast<size_t>(this->Dims[0]) * this->Dims[1] * this->Dims[2];
  std::vector<uint32_t> cellOf(landmarks.size());
  for (size_t i = 0; i < landmarks.size(); ++i)
  {
    size_t index = 0;
    for (int a = 2; a >= 0; --a)
    {
      double cell = 0.0;
      if (this->Dims[a] > 1)
      {
        cell = std::floor((landmarks[i].P[a] - this->Origin[a]) / this->Width);
        cell = std::min(std::max(cell, 0.0), static_cast<double>(this->Dims[a] - 1));
      }
      index = index * this->Dims[a] + static_cast<size_t>(cell);
    }
    cellOf[i] = static_cast<uint32_t>(index);
  }

  // Counting sort, stable: the landmarks of one cell stay in file order.
  this->Start.assign(cells + 1, 0);
  for (uint32_t c : cellOf)
  {
    ++this->Start[c + 1];
  }
  for (size_t c = 0; c < cells; ++c)
  {
    this->Start[c + 1] += this->Start[c];
  }
  this->Landmarks.resize(landmarks.size());
  std::vector<uint32_t> next(this->Start.begin(), this->Start.end() - 1);
  for (size_t i = 0; i < landmarks.size(); ++i)
  {
    this->Landmarks[next[cellOf[i]]++] = landmarks[i];
  }
}

}
