#include "EvenSubset.h"

#include <vtkPoints.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

namespace
{
// Cells along an axis at the finest grid tried: the key packs three such indices.
constexpr int AxisBits = 20;
constexpr double Finest = 1.0 / (1 << AxisBits);
// The cell edge is found to within this factor.
constexpr double Precision = 1.001;

// The finite points relative to their bounding box's lower corner, three doubles each, with
// their indices; extent is the box's longest side.
struct Placed
{
  std::vector<double> Xyz;
  std::vector<vtkIdType> Index;
  double Extent = 0.0;
};

Placed Place(vtkPoints* points)
{
  Placed placed;
  const vtkIdType n = points->GetNumberOfPoints();
  double low[3] = { std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
    std::numeric_limits<double>::max() };
  double high[3] = { -low[0], -low[1], -low[2] };
  placed.Xyz.reserve(static_cast<size_t>(3 * n));
  placed.Index.reserve(static_cast<size_t>(n));
  for (vtkIdType i = 0; i < n; ++i)
  {
    double x[3];
    points->GetPoint(i, x);
    if (!std::isfinite(x[0]) || !std::isfinite(x[1]) || !std::isfinite(x[2]))
    {
      continue;
    }
    for (int c = 0; c < 3; ++c)
    {
      low[c] = std::min(low[c], x[c]);
      high[c] = std::max(high[c], x[c]);
      placed.Xyz.push_back(x[c]);
    }
    placed.Index.push_back(i);
  }
  for (size_t k = 0; k < placed.Xyz.size(); ++k)
  {
    placed.Xyz[k] -= low[k % 3];
  }
  for (int c = 0; c < 3 && !placed.Index.empty(); ++c)
  {
    placed.Extent = std::max(placed.Extent, high[c] - low[c]);
  }
  return placed;
}

std::uint64_t CellOf(const double* x, double edge, double centre[3])
{
  constexpr std::int64_t last = (std::int64_t{ 1 } << (AxisBits + 1)) - 1;
  std::uint64_t key = 0;
  for (int c = 0; c < 3; ++c)
  {
    const auto i =
      std::clamp(static_cast<std::int64_t>(std::floor(x[c] / edge)), std::int64_t{ 0 }, last);
    centre[c] = (static_cast<double>(i) + 0.5) * edge;
    key = (key << (AxisBits + 1)) | static_cast<std::uint64_t>(i);
  }
  return key;
}

// Whether cells of this edge hold the points in no more than limit cells.
bool FewEnough(
  const Placed& placed, double edge, vtkIdType limit, std::unordered_set<std::uint64_t>& seen)
{
  seen.clear();
  double centre[3];
  for (size_t k = 0; k < placed.Index.size(); ++k)
  {
    seen.insert(CellOf(&placed.Xyz[3 * k], edge, centre));
    if (static_cast<vtkIdType>(seen.size()) > limit)
    {
      return false;
    }
  }
  return true;
}

// The point nearest the centre of each occupied cell.
std::vector<vtkIdType> Keep(const Placed& placed, double edge)
{
  struct Best
  {
    vtkIdType Index;
    double Square;
  };
  std::unordered_map<std::uint64_t, Best> cells;
  for (size_t k = 0; k < placed.Index.size(); ++k)
  {
    const double* x = &placed.Xyz[3 * k];
    double centre[3];
    const std::uint64_t key = CellOf(x, edge, centre);
    double square = 0.0;
    for (int c = 0; c < 3; ++c)
    {
      square += (x[c] - centre[c]) * (x[c] - centre[c]);
    }
    auto found = cells.find(key);
    if (found == cells.end())
    {
      cells.emplace(key, Best{ placed.Index[k], square });
    }
    else if (square < found->second.Square)
    {
      found->second = Best{ placed.Index[k], square };
    }
  }
  std::vector<vtkIdType> kept;
  kept.reserve(cells.size());
  for (const auto& cell : cells)
  {
    kept.push_back(cell.second.Index);
  }
  std::sort(kept.begin(), kept.end());
  return kept;
}
}

//------------------------------------------------------------------------------
EvenSubsetResult EvenSubset(vtkPoints* points, vtkIdType limit)
{
  EvenSubsetResult result;
  const vtkIdType n = points ? points->GetNumberOfPoints() : 0;
  if (limit < 1 || n == 0)
  {
    return result;
  }
  if (n <= limit)
  {
    result.Indices.resize(static_cast<size_t>(n));
    std::iota(result.Indices.begin(), result.Indices.end(), vtkIdType{ 0 });
    return result;
  }
  const Placed placed = Place(points);
  if (placed.Index.empty())
  {
    return result;
  }
  // Cells larger than the box put every point in one; the finest grid is the lower end.
  double coarse = placed.Extent > 0.0 ? 2.0 * placed.Extent : 1.0;
  double fine = coarse * Finest;
  std::unordered_set<std::uint64_t> seen;
  seen.reserve(static_cast<size_t>(2 * limit));
  if (FewEnough(placed, fine, limit, seen))
  {
    coarse = fine;
  }
  while (coarse > fine * Precision)
  {
    const double middle = std::sqrt(coarse * fine);
    (FewEnough(placed, middle, limit, seen) ? coarse : fine) = middle;
  }
  result.Cell = coarse;
  result.Indices = Keep(placed, coarse);
  return result;
}
