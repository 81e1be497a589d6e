#include "LocalOrder.h"
#include "FeatureSplitting.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

namespace
{
// The 21 bits of v spread to every third bit of 63.
std::uint64_t Spread(std::uint64_t v)
{
  v &= 0x1fffff;
  v = (v | v << 32) & 0x1f00000000ffffULL;
  v = (v | v << 16) & 0x1f0000ff0000ffULL;
  v = (v | v << 8) & 0x100f00f00f00f00fULL;
  v = (v | v << 4) & 0x10c30c30c30c30c3ULL;
  v = (v | v << 2) & 0x1249249249249249ULL;
  return v;
}
}

//------------------------------------------------------------------------------
template <typename T>
bool LocalOrder::Make(const T* xyz, vtkIdType points, const FlatCells& cells)
{
  this->PointOrder.clear();
  this->CellOrder.clear();
  this->CellRank.clear();
  const vtkIdType numCells = cells.Size();
  constexpr vtkIdType most = std::numeric_limits<std::uint32_t>::max();
  if (points <= 0 || points > most || numCells > most)
  {
    return false;
  }

  // Points: by the Z-order code of their place in the bounding box (non-finite coordinates
  // count as its low corner), then by id.
  double low[3], high[3];
  std::fill(low, low + 3, std::numeric_limits<double>::max());
  std::fill(high, high + 3, std::numeric_limits<double>::lowest());
  for (vtkIdType i = 0; i < points; ++i)
  {
    for (int k = 0; k < 3; ++k)
    {
      const double x = xyz[3 * i + k];
      if (std::isfinite(x))
      {
        low[k] = std::min(low[k], x);
        high[k] = std::max(high[k], x);
      }
    }
  }
  // One scale for all axes, so that the codes follow distances in space (a flat mesh's
  // thin side is not stretched to the others' size).
  double size = 0;
  for (int k = 0; k < 3; ++k)
  {
    size = std::max(size, high[k] - low[k]);
  }
  const double scale = size > 0 ? 2097151.0 / size : 0.0;
  std::vector<std::pair<std::uint64_t, std::uint32_t>> keys(points);
  for (vtkIdType i = 0; i < points; ++i)
  {
    std::uint64_t code = 0;
    for (int k = 0; k < 3; ++k)
    {
      const double x = xyz[3 * i + k];
      const double cell = std::isfinite(x) ? (x - low[k]) * scale : 0.0;
      code |= Spread(static_cast<std::uint64_t>(std::min(std::max(cell, 0.0), 2097151.0))) << k;
    }
    keys[i] = { code, static_cast<std::uint32_t>(i) };
  }
  std::sort(keys.begin(), keys.end());
  this->PointOrder.resize(points);
  std::vector<std::uint32_t> pointRank(points);
  for (vtkIdType r = 0; r < points; ++r)
  {
    this->PointOrder[r] = keys[r].second;
    pointRank[keys[r].second] = static_cast<std::uint32_t>(r);
  }

  // Cells: by their lowest point rank (a counting sort, so ties keep the cells' order).
  std::vector<std::uint32_t> lowest(numCells);
  std::vector<vtkIdType> first(static_cast<size_t>(points) + 1, 0);
  for (vtkIdType c = 0; c < numCells; ++c)
  {
    std::uint32_t rank = std::numeric_limits<std::uint32_t>::max();
    for (vtkIdType j = cells.Offsets[c]; j < cells.Offsets[c + 1]; ++j)
    {
      const vtkIdType p = cells.Connectivity[j];
      if (p < 0 || p >= points)
      {
        this->PointOrder.clear();
        return false;
      }
      rank = std::min(rank, pointRank[p]);
    }
    if (cells.Offsets[c + 1] == cells.Offsets[c])
    {
      rank = 0;
    }
    lowest[c] = rank;
    ++first[rank + 1];
  }
  for (vtkIdType r = 0; r < points; ++r)
  {
    first[r + 1] += first[r];
  }
  this->CellOrder.resize(numCells);
  this->CellRank.resize(numCells);
  for (vtkIdType c = 0; c < numCells; ++c)
  {
    const vtkIdType r = first[lowest[c]]++;
    this->CellOrder[r] = static_cast<std::uint32_t>(c);
    this->CellRank[c] = static_cast<std::uint32_t>(r);
  }
  return true;
}

//------------------------------------------------------------------------------
bool LocalOrder::Scattered(const FlatCells& cells)
{
  vtkIdType jumps = 0;
  vtkIdType lastLow = 0, lastHigh = 0;
  for (vtkIdType c = 0; c < cells.Size(); ++c)
  {
    const auto first = cells.Connectivity.begin() + cells.Offsets[c];
    const auto last = cells.Connectivity.begin() + cells.Offsets[c + 1];
    if (first == last)
    {
      continue;
    }
    const auto range = std::minmax_element(first, last);
    const vtkIdType low = *range.first, high = *range.second;
    if (c > 0 && std::abs(low - lastLow) + std::abs(high - lastHigh) > 128)
    {
      ++jumps;
    }
    lastLow = low;
    lastHigh = high;
  }
  return 4 * jumps > cells.Size();
}

template bool LocalOrder::Make<float>(const float*, vtkIdType, const FlatCells&);
template bool LocalOrder::Make<double>(const double*, vtkIdType, const FlatCells&);
