#include "FeatureSplitting.h"

#include "vtkCellArray.h"
#include "vtkCellArrayIterator.h"
#include "vtkSMPTools.h"
#include "vtkSmartPointer.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numeric>
#include <utility>

namespace
{
// A cos of an angle between cell normals this close to the feature angle's might fall on
// either side in vtkPolyDataNormals' own arithmetic: the splitting is then left to it.
constexpr double FeatureMargin = 1e-9;
}

//------------------------------------------------------------------------------
void FlatCells::Read(vtkCellArray* cells)
{
  this->Offsets.assign(1, 0);
  this->Connectivity.clear();
  this->Offsets.reserve(cells->GetNumberOfCells() + 1);
  this->Connectivity.reserve(cells->GetNumberOfConnectivityIds());
  auto it = vtk::TakeSmartPointer(cells->NewIterator());
  for (it->GoToFirstCell(); !it->IsDoneWithTraversal(); it->GoToNextCell())
  {
    vtkIdType n;
    const vtkIdType* ids;
    it->GetCurrentCell(n, ids);
    this->Connectivity.insert(this->Connectivity.end(), ids, ids + n);
    this->Offsets.push_back(static_cast<vtkIdType>(this->Connectivity.size()));
  }
}

//------------------------------------------------------------------------------
double FeatureSplitting::Cos(const std::vector<float>& normals, vtkIdType a, vtkIdType b)
{
  const double u[3] = { normals[3 * a], normals[3 * a + 1], normals[3 * a + 2] };
  const double v[3] = { normals[3 * b], normals[3 * b + 1], normals[3 * b + 2] };
  return u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
}

//------------------------------------------------------------------------------
bool FeatureSplitting::Build(FlatCells cells, std::vector<unsigned char> reversed,
  vtkIdType inputPoints, bool splitting, double cosAngle, const std::vector<float>& cellNormals,
  std::vector<std::uint32_t> rows, const vtkIdType* outputConnectivity)
{
  this->Cells = std::move(cells);
  this->Reversed = std::move(reversed);
  this->Row = std::move(rows);
  this->InputPoints = inputPoints;
  this->Splitting = splitting;
  this->CosAngle = cosAngle;
  this->PointsWalked = 0;
  const FlatCells& c = this->Cells;
  const vtkIdType numCells = c.Size();
  if (numCells > static_cast<vtkIdType>(UINT32_MAX) ||
    (!this->Row.empty() && static_cast<vtkIdType>(this->Row.size()) != numCells))
  {
    return false;
  }

  // The cells around each point, in increasing cell order.
  this->Start.assign(inputPoints + 1, 0);
  for (vtkIdType id : c.Connectivity)
  {
    if (id < 0 || id >= inputPoints)
    {
      return false;
    }
    ++this->Start[id + 1];
  }
  std::partial_sum(this->Start.begin(), this->Start.end(), this->Start.begin());
  const size_t entries = c.Connectivity.size();
  this->Cell.resize(entries);
  this->Position.resize(entries);
  this->Output.resize(entries);
  this->Region.assign(entries, 0);
  std::vector<vtkIdType> next(this->Start.begin(), this->Start.end() - 1);
  for (vtkIdType cell = 0; cell < numCells; ++cell)
  {
    if (c.Offsets[cell + 1] - c.Offsets[cell] < 3)
    {
      return false;
    }
    for (vtkIdType j = c.Offsets[cell]; j < c.Offsets[cell + 1]; ++j)
    {
      const vtkIdType p = c.Connectivity[j];
      const vtkIdType k = next[p]++;
      if (k > this->Start[p] && this->Cell[k - 1] == cell)
      {
        return false; // the cell uses p twice
      }
      this->Cell[k] = cell;
      this->Position[k] = j;
      this->Output[k] = outputConnectivity[j];
    }
  }

  // The pairs of cells across each edge that exactly two cells share.
  this->PairA.clear();
  this->PairB.clear();
  this->EdgeP.clear();
  this->EdgeQ.clear();
  for (vtkIdType cell = 0; splitting && cell < numCells; ++cell)
  {
    const vtkIdType first = c.Offsets[cell];
    const vtkIdType size = c.Offsets[cell + 1] - first;
    for (vtkIdType j = 0; j < size; ++j)
    {
      const vtkIdType a = c.Connectivity[first + j];
      const vtkIdType b = c.Connectivity[first + (j + 1) % size];
      const vtkIdType k = this->OnlyOtherAcross(a, cell, b);
      if (k < 0)
      {
        continue;
      }
      const vtkIdType other = this->Cell[k];
      // Each pair once: from its lower cell, unless the edge is not a side of that cell.
      bool sideOfOther = false;
      const vtkIdType otherFirst = c.Offsets[other];
      const vtkIdType otherSize = c.Offsets[other + 1] - otherFirst;
      for (vtkIdType m = 0; m < otherSize && !sideOfOther; ++m)
      {
        const vtkIdType u = c.Connectivity[otherFirst + m];
        const vtkIdType v = c.Connectivity[otherFirst + (m + 1) % otherSize];
        sideOfOther = (u == a && v == b) || (u == b && v == a);
      }
      if (other > cell || !sideOfOther)
      {
        this->PairA.push_back(static_cast<std::uint32_t>(this->RowOf(cell)));
        this->PairB.push_back(static_cast<std::uint32_t>(this->RowOf(other)));
        this->EdgeP.push_back(a);
        this->EdgeQ.push_back(b);
      }
    }
  }
  if (!this->Row.empty())
  {
    this->SortPairsByRow();
  }
  this->Joined.resize(this->PairA.size());
  for (size_t p = 0; p < this->PairA.size(); ++p)
  {
    const double cosine = Cos(cellNormals, this->PairA[p], this->PairB[p]);
    if (std::fabs(cosine - cosAngle) <= FeatureMargin)
    {
      return false;
    }
    this->Joined[p] = cosine > cosAngle ? 1 : 0;
  }
  this->Flipped.assign(this->PairA.size(), 0);
  this->Marked.assign(inputPoints, 0);

  // The regions around every point, which must give the output vtkPolyDataNormals made.
  this->Regions.assign(inputPoints, 1);
  std::atomic<bool> tooClose{ false };
  if (splitting)
  {
    vtkSMPTools::For(0, inputPoints,
      [&](vtkIdType begin, vtkIdType end)
      {
        for (vtkIdType p = begin; p < end; ++p)
        {
          const int regions = this->Walk(p, cellNormals);
          if (regions < 0)
          {
            tooClose.store(true, std::memory_order_relaxed);
            return;
          }
          this->Regions[p] = regions;
        }
      });
  }
  if (tooClose.load())
  {
    return false;
  }
  this->Number();
  std::atomic<bool> differs{ false };
  vtkSMPTools::For(0, inputPoints,
    [&](vtkIdType begin, vtkIdType end)
    {
      for (vtkIdType p = begin; p < end; ++p)
      {
        for (vtkIdType k = this->Start[p]; k < this->Start[p + 1]; ++k)
        {
          const vtkIdType expected =
            this->Region[k] == 0 ? p : this->FirstCopy[p] + this->Region[k] - 1;
          if (expected != this->Output[k])
          {
            differs.store(true, std::memory_order_relaxed);
            return;
          }
        }
      }
    });
  return !differs.load();
}

//------------------------------------------------------------------------------
void FeatureSplitting::SortPairsByRow()
{
  // By the lower row of each pair, ties in the order found.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> keys(this->PairA.size());
  for (size_t i = 0; i < keys.size(); ++i)
  {
    keys[i] = { std::min(this->PairA[i], this->PairB[i]), static_cast<std::uint32_t>(i) };
  }
  std::sort(keys.begin(), keys.end());
  auto permute = [&keys](auto& values)
  {
    auto sorted = values;
    for (size_t i = 0; i < keys.size(); ++i)
    {
      sorted[i] = values[keys[i].second];
    }
    values.swap(sorted);
  };
  permute(this->PairA);
  permute(this->PairB);
  permute(this->EdgeP);
  permute(this->EdgeQ);
}

//------------------------------------------------------------------------------
FeatureSplitting::Outcome FeatureSplitting::Update(
  const std::vector<float>& cellNormals, vtkIdType* outputConnectivity)
{
  this->Rewritten.clear();
  if (!this->Splitting)
  {
    return Unchanged;
  }
  std::atomic<bool> tooClose{ false };
  std::atomic<vtkIdType> flips{ 0 };
  vtkSMPTools::For(0, static_cast<vtkIdType>(this->PairA.size()),
    [&](vtkIdType begin, vtkIdType end)
    {
      vtkIdType found = 0;
      for (vtkIdType p = begin; p < end; ++p)
      {
        const double cosine = Cos(cellNormals, this->PairA[p], this->PairB[p]);
        if (std::fabs(cosine - this->CosAngle) <= FeatureMargin)
        {
          tooClose.store(true, std::memory_order_relaxed);
        }
        const unsigned char flipped = (cosine > this->CosAngle) != (this->Joined[p] != 0);
        this->Flipped[p] = flipped;
        found += flipped;
      }
      flips.fetch_add(found, std::memory_order_relaxed);
    });
  if (tooClose.load())
  {
    return TooCloseToTell;
  }
  if (flips.load() == 0)
  {
    return Unchanged;
  }

  // The end points of the edges that changed sides, each once.
  std::vector<vtkIdType> walk;
  for (size_t p = 0; p < this->PairA.size(); ++p)
  {
    if (!this->Flipped[p])
    {
      continue;
    }
    this->Joined[p] ^= 1;
    for (vtkIdType point : { this->EdgeP[p], this->EdgeQ[p] })
    {
      if (!this->Marked[point])
      {
        this->Marked[point] = 1;
        walk.push_back(point);
      }
    }
  }
  bool renumber = false;
  bool unknown = false;
  for (vtkIdType p : walk)
  {
    this->Marked[p] = 0;
    const int regions = this->Walk(p, cellNormals);
    unknown = unknown || regions < 0;
    renumber = renumber || regions != this->Regions[p];
    this->Regions[p] = regions;
  }
  this->PointsWalked += static_cast<vtkIdType>(walk.size());
  if (unknown)
  {
    return TooCloseToTell;
  }
  if (renumber)
  {
    // Copies after the first point whose count changed move: every split point is
    // written again (the walked ones too, which may have stopped splitting).
    this->Number();
    for (vtkIdType p : this->Split)
    {
      this->WriteOutputs(p, outputConnectivity);
    }
  }
  for (vtkIdType p : walk)
  {
    this->WriteOutputs(p, outputConnectivity);
  }
  return Changed;
}

//------------------------------------------------------------------------------
void FeatureSplitting::Neighbours(
  vtkIdType c, vtkIdType p, vtkIdType& first, vtkIdType& second) const
{
  const vtkIdType begin = this->Cells.Offsets[c];
  const vtkIdType n = this->Cells.Offsets[c + 1] - begin;
  const vtkIdType* ids = this->Cells.Connectivity.data() + begin;
  vtkIdType j = 0;
  while (ids[j] != p)
  {
    ++j;
  }
  // The input cell's order: the output's, or reversed.
  auto input = [&](vtkIdType i) { return this->Reversed[c] ? ids[n - 1 - i] : ids[i]; };
  const vtkIdType spot = this->Reversed[c] ? n - 1 - j : j;
  if (spot == n - 1)
  {
    first = input(spot - 1);
    second = input(0);
  }
  else
  {
    first = input(spot + 1);
    second = spot == 0 ? input(n - 1) : input(spot - 1);
  }
}

//------------------------------------------------------------------------------
vtkIdType FeatureSplitting::OnlyOtherAcross(vtkIdType p, vtkIdType c, vtkIdType q) const
{
  vtkIdType found = -1;
  int count = 0;
  for (vtkIdType k = this->Start[p]; k < this->Start[p + 1]; ++k)
  {
    const vtkIdType d = this->Cell[k];
    if (d == c)
    {
      continue;
    }
    const vtkIdType* first = this->Cells.Connectivity.data() + this->Cells.Offsets[d];
    const vtkIdType* last = this->Cells.Connectivity.data() + this->Cells.Offsets[d + 1];
    if (std::find(first, last, q) != last)
    {
      found = k;
      ++count;
    }
  }
  return count == 1 ? found : -1;
}

//------------------------------------------------------------------------------
int FeatureSplitting::Walk(vtkIdType p, const std::vector<float>& normals)
{
  const vtkIdType begin = this->Start[p];
  const vtkIdType end = this->Start[p + 1];
  for (vtkIdType k = begin; k < end; ++k)
  {
    this->Region[k] = -1;
  }
  int regions = 0;
  for (vtkIdType seed = begin; seed < end; ++seed)
  {
    if (this->Region[seed] >= 0)
    {
      continue;
    }
    this->Region[seed] = regions;
    vtkIdType neighbour[2];
    this->Neighbours(this->Cell[seed], p, neighbour[0], neighbour[1]);
    for (vtkIdType q : neighbour)
    {
      vtkIdType cell = this->Cell[seed];
      for (;;)
      {
        const vtkIdType k = this->OnlyOtherAcross(p, cell, q);
        if (k < 0 || this->Region[k] >= 0)
        {
          break;
        }
        const double cosine = Cos(normals, this->RowOf(cell), this->RowOf(this->Cell[k]));
        if (std::fabs(cosine - this->CosAngle) <= FeatureMargin)
        {
          return -1;
        }
        if (!(cosine > this->CosAngle))
        {
          break;
        }
        this->Region[k] = regions;
        cell = this->Cell[k];
        vtkIdType after, before;
        this->Neighbours(cell, p, after, before);
        // vtkPolyDataNormals goes on across the side of p that it did not come in by,
        // judged by the point after p in the input cell's order.
        q = after != q ? after : before;
      }
    }
    ++regions;
  }
  return regions;
}

//------------------------------------------------------------------------------
void FeatureSplitting::Number()
{
  const vtkIdType n = this->InputPoints;
  this->FirstCopy.resize(n);
  this->Split.clear();
  vtkIdType next = n;
  for (vtkIdType p = 0; p < n; ++p)
  {
    this->FirstCopy[p] = next;
    if (this->Regions[p] > 1)
    {
      next += this->Regions[p] - 1;
      this->Split.push_back(p);
    }
  }
  this->Map.resize(next);
  std::iota(this->Map.begin(), this->Map.begin() + n, vtkIdType(0));
  for (vtkIdType p : this->Split)
  {
    std::fill(this->Map.begin() + this->FirstCopy[p],
      this->Map.begin() + this->FirstCopy[p] + this->Regions[p] - 1, p);
  }
}

//------------------------------------------------------------------------------
void FeatureSplitting::WriteOutputs(vtkIdType p, vtkIdType* outputConnectivity)
{
  for (vtkIdType k = this->Start[p]; k < this->Start[p + 1]; ++k)
  {
    const vtkIdType o = this->Region[k] == 0 ? p : this->FirstCopy[p] + this->Region[k] - 1;
    if (o != this->Output[k])
    {
      this->Rewritten.push_back(this->Position[k]);
      this->Rewritten.push_back(this->Output[k]);
    }
    this->Output[k] = o;
    outputConnectivity[this->Position[k]] = o;
  }
}
