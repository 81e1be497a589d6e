#ifndef LandmarkGrid_h
#define LandmarkGrid_h

/**
 * The landmarks of one fitted spline sorted into a uniform grid of cubic cells, for the
 * evaluation of the spline at many points.
 *
 * The cells are at least as wide as the radius (a little wider, so that rounding cannot put a
 * landmark within reach two cells away), so every landmark within reach of a point lies in
 * the 3 x 3 x 3 cells around the point's own. The landmarks are stored cell by cell (cells in
 * x-fastest order, landmarks of one cell in file order), each with its three kernel
 * coefficients beside its position: the cells of one row of the grid are one contiguous
 * range, and a point reads nine ranges at most.
 *
 * The grid never has more than about four cells per landmark (and at most 2^20 along an
 * axis): for a radius that is small against the landmarks' spread its cells are made wider
 * than the radius, which costs time (more landmarks to reject), never results. Landmarks with
 * a coordinate that is not finite are left out (no finite point is within reach of them).
 *
 * Built once per set of parameters, then only read: any number of threads may evaluate at
 * once.
 */

#include "SplineKernel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace spline_kernel
{

class LandmarkGrid
{
public:
  /**
   * Sorts the n landmarks (position(k, p) writes landmark k's position, in file order) with
   * their coefficients from c (landmark k's at c.UnList[k]) into cells for c.Radius, which
   * is positive and finite. Throws std::bad_alloc when memory runs out.
   */
  template <class Positions>
  LandmarkGrid(const SplineCoefficients& c, const Positions& position)
  {
    std::vector<PackedLandmark> landmarks;
    landmarks.reserve(static_cast<size_t>(c.N));
    for (long long k = 0; k < c.N; ++k)
    {
      PackedLandmark l;
      position(k, l.P);
      if (!(std::isfinite(l.P[0]) && std::isfinite(l.P[1]) && std::isfinite(l.P[2])))
      {
        continue;
      }
      const int o = c.UnList[k];
      l.C[0] = c.X[o];
      l.C[1] = c.Y[o];
      l.C[2] = c.Z[o];
      landmarks.push_back(l);
    }
    this->Sort(std::move(landmarks), c.Radius);
  }

  /**
   * Calls visit(first, last) for each range of landmarks that may lie within reach of the
   * finite point x, in one fixed order (rows by z, then y), so that every evaluation of x
   * meets the same landmarks in the same order.
   */
  template <class Visit>
  void ForEachRange(const double x[3], Visit&& visit) const
  {
    int lo[3];
    int hi[3];
    for (int a = 0; a < 3; ++a)
    {
      if (this->Dims[a] == 1)
      {
        lo[a] = hi[a] = 0;
        continue;
      }
      // In double until clamped: a point far outside gives an empty range, not an overflow.
      const double cell = std::floor((x[a] - this->Origin[a]) / this->Width);
      const double first = std::max(cell - 1.0, 0.0);
      const double last = std::min(cell + 1.0, static_cast<double>(this->Dims[a] - 1));
      if (!(first <= last))
      {
        return;
      }
      lo[a] = static_cast<int>(first);
      hi[a] = static_cast<int>(last);
    }
    const PackedLandmark* landmarks = this->Landmarks.data();
    for (int k = lo[2]; k <= hi[2]; ++k)
    {
      for (int j = lo[1]; j <= hi[1]; ++j)
      {
        const size_t row = (static_cast<size_t>(k) * this->Dims[1] + j) * this->Dims[0];
        const uint32_t begin = this->Start[row + lo[0]];
        const uint32_t end = this->Start[row + hi[0] + 1];
        if (begin < end)
        {
          visit(landmarks + begin, landmarks + end);
        }
      }
    }
  }

  /** Cells along each axis, and in all. */
  const int* GetDims() const { return this->Dims; }
  size_t GetNumberOfCells() const { return this->Start.size() - 1; }
  /** The landmarks held (those with finite coordinates). */
  size_t GetNumberOfLandmarks() const { return this->Landmarks.size(); }

private:
  void Sort(std::vector<PackedLandmark> landmarks, double radius);

  double Origin[3] = { 0.0, 0.0, 0.0 };
  double Width = 1.0;
  int Dims[3] = { 1, 1, 1 };
  std::vector<uint32_t> Start; // cells + 1 entries: cell i holds [Start[i], Start[i + 1])
  std::vector<PackedLandmark> Landmarks;
};

}

#endif
