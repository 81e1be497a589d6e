#include "SparseKernelSystem.h"

#include "IncompleteCholesky.h"
#include "ParallelChunks.h"
#include "SplineKernel.h"

// Only the parts of Eigen under the Mozilla Public License 2.0.
#define EIGEN_MPL2_ONLY
#include <Eigen/Dense>
#include <Eigen/SparseCore>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <new>
#include <thread>
#include <utility>
#include <vector>

namespace
{
using SparseMatrix = Eigen::SparseMatrix<double, Eigen::RowMajor, int>;

// The squared distance exactly as the envelope's assembly computes it (this file is compiled
// without fused multiply-adds, like the solver's): the same pairs count as neighbours.
inline double SquaredDistance(const OrderedPoints& p, int a, int b)
{
  return spline_kernel::SquaredDistance(p.X[a], p.Y[a], p.Z[a], p.X[b], p.Y[b], p.Z[b]);
}

// The landmarks sorted into cubic cells at least as large as the radius: every neighbour of a
// landmark lies in its own cell or in one of the 26 around it.
class CellGrid
{
public:
  CellGrid(const OrderedPoints& p, double radius)
  {
    double lo[3] = { HUGE_VAL, HUGE_VAL, HUGE_VAL };
    double hi[3] = { -HUGE_VAL, -HUGE_VAL, -HUGE_VAL };
    for (int i = 0; i < p.N; ++i)
    {
      const double c[3] = { p.X[i], p.Y[i], p.Z[i] };
      for (int k = 0; k < 3; ++k)
      {
        lo[k] = std::min(lo[k], c[k]);
        hi[k] = std::max(hi[k], c[k]);
      }
    }
    double extent = 0.0;
    for (int k = 0; k < 3; ++k)
    {
      this->Low[k] = p.N > 0 ? lo[k] : 0.0;
      extent = std::max(extent, p.N > 0 ? hi[k] - lo[k] : 0.0);
    }
    // A little over the radius, so that rounding in the cell numbers cannot separate two
    // neighbours by more than one cell; and no more cells than about two per landmark.
    this->Size = radius > 0.0 && std::isfinite(radius) ? radius * (1.0 + 1e-6) : extent + 1.0;
    const double most = 2.0 * p.N + 8.0;
    for (;;)
    {
      double cells = 1.0;
      for (int k = 0; k < 3; ++k)
      {
        const double span = p.N > 0 ? hi[k] - lo[k] : 0.0;
        cells *= std::floor(span / this->Size) + 1.0;
      }
      if (cells <= most)
      {
        break;
      }
      this->Size *= 1.25;
    }
    for (int k = 0; k < 3; ++k)
    {
      const double span = p.N > 0 ? hi[k] - lo[k] : 0.0;
      this->Dims[k] = static_cast<int>(std::floor(span / this->Size)) + 1;
    }
    const std::int64_t count =
      static_cast<std::int64_t>(this->Dims[0]) * this->Dims[1] * this->Dims[2];
    this->Start.assign(count + 1, 0);
    this->CellOf.resize(p.N);
    for (int i = 0; i < p.N; ++i)
    {
      this->CellOf[i] = this->CellNumber(p.X[i], p.Y[i], p.Z[i]);
      ++this->Start[this->CellOf[i] + 1];
    }
    for (std::int64_t c = 0; c < count; ++c)
    {
      this->Start[c + 1] += this->Start[c];
    }
    this->Members.resize(p.N);
    std::vector<int> next(this->Start.begin(), this->Start.end() - 1);
    for (int i = 0; i < p.N; ++i)
    {
      this->Members[next[this->CellOf[i]]++] = i;
    }
  }

  // Calls visit(j, d2) for every other landmark j with squared distance d2 below limit.
  template <typename Visit>
  void ForEachNeighbour(const OrderedPoints& p, int b, double limit, Visit visit) const
  {
    const int cell = this->CellOf[b];
    const int cx = cell % this->Dims[0];
    const int cy = (cell / this->Dims[0]) % this->Dims[1];
    const int cz = cell / this->Dims[0] / this->Dims[1];
    for (int z = std::max(cz - 1, 0); z <= std::min(cz + 1, this->Dims[2] - 1); ++z)
    {
      for (int y = std::max(cy - 1, 0); y <= std::min(cy + 1, this->Dims[1] - 1); ++y)
      {
        const int row = (z * this->Dims[1] + y) * this->Dims[0];
        const int first = this->Start[row + std::max(cx - 1, 0)];
        const int last = this->Start[row + std::min(cx + 1, this->Dims[0] - 1) + 1];
        for (int m = first; m < last; ++m)
        {
          const int j = this->Members[m];
          if (j != b)
          {
            const double d2 = SquaredDistance(p, b, j);
            if (d2 < limit)
            {
              visit(j, d2);
            }
          }
        }
      }
    }
  }

  // The squared distances ForEachNeighbour computes over all the landmarks.
  double VisitWork() const
  {
    double work = 0.0;
    for (int cz = 0; cz < this->Dims[2]; ++cz)
    {
      for (int cy = 0; cy < this->Dims[1]; ++cy)
      {
        for (int cx = 0; cx < this->Dims[0]; ++cx)
        {
          const int cell = (cz * this->Dims[1] + cy) * this->Dims[0] + cx;
          const int members = this->Start[cell + 1] - this->Start[cell];
          if (members == 0)
          {
            continue;
          }
          double around = 0.0;
          for (int z = std::max(cz - 1, 0); z <= std::min(cz + 1, this->Dims[2] - 1); ++z)
          {
            for (int y = std::max(cy - 1, 0); y <= std::min(cy + 1, this->Dims[1] - 1); ++y)
            {
              const int row = (z * this->Dims[1] + y) * this->Dims[0];
              around += this->Start[row + std::min(cx + 1, this->Dims[0] - 1) + 1] -
                this->Start[row + std::max(cx - 1, 0)];
            }
          }
          work += members * around;
        }
      }
    }
    return work;
  }

private:
  int CellNumber(double x, double y, double z) const
  {
    const double c[3] = { x, y, z };
    int index[3];
    for (int k = 0; k < 3; ++k)
    {
      const int i = static_cast<int>(std::floor((c[k] - this->Low[k]) / this->Size));
      index[k] = std::min(std::max(i, 0), this->Dims[k] - 1);
    }
    return (index[2] * this->Dims[1] + index[1]) * this->Dims[0] + index[0];
  }

  double Low[3] = { 0.0, 0.0, 0.0 };
  double Size = 1.0;
  int Dims[3] = { 1, 1, 1 };
  std::vector<int> Start;   // the first member of each cell (cells in x, then y, then z)
  std::vector<int> Members; // landmarks cell by cell
  std::vector<int> CellOf;
};
}

struct SparseKernelSystem::Matrix
{
  SparseMatrix Phi;
  IncompleteCholesky Factor;
  bool Factored = false;
};

//------------------------------------------------------------------------------
namespace
{
// Rows handed to one thread at a time where the grid's rows are shared out.
constexpr int GridRowChunk = 1024;

KernelProfile MeasureThroughGrid(
  const OrderedPoints& points, const CellGrid& grid, double limit, int threads)
{
  KernelProfile profile;
  profile.Neighbours.resize(points.N);
  profile.Widths.resize(points.N);
  // Each row is counted on its own, on whichever thread; the sums over rows are added up
  // afterwards in row order, so that they do not depend on the threads.
  std::vector<int> lowers(points.N);
  std::vector<char> coincidences(points.N);
  parallel_chunks::ForEachChunk(points.N, GridRowChunk, threads,
    [&](int begin, int end)
    {
      for (int b = begin; b < end; ++b)
      {
        int first = b;
        int count = 0;
        int lower = 0;
        bool coincident = false;
        grid.ForEachNeighbour(points, b, limit,
          [&](int j, double d2)
          {
            first = std::min(first, j);
            ++count;
            lower += j < b ? 1 : 0;
            coincident = coincident || d2 == 0.0;
          });
        profile.Neighbours[b] = count;
        profile.Widths[b] = b - first;
        lowers[b] = lower;
        coincidences[b] = coincident ? 1 : 0;
      }
    });
  for (int b = 0; b < points.N; ++b)
  {
    const double lower = lowers[b];
    profile.LowerSquares += lower * lower;
    profile.EnvelopeEntries += profile.Widths[b];
    profile.OffDiagonal += profile.Neighbours[b];
    profile.Coincident = profile.Coincident || coincidences[b] != 0;
  }
  return profile;
}

// Every row against the max rows before it; a pair within reach counts for both rows.
KernelProfile MeasureInWindow(const OrderedPoints& points, double limit, int max)
{
  KernelProfile profile;
  profile.Windowed = true;
  profile.Neighbours.assign(points.N, 0);
  profile.Widths.resize(points.N);
  for (int b = 0; b < points.N; ++b)
  {
    int first = b;
    int lower = 0;
    for (int j = std::max(b - max, 0); j < b; ++j)
    {
      const double d2 = SquaredDistance(points, b, j);
      if (d2 < limit)
      {
        first = std::min(first, j);
        ++lower;
        ++profile.Neighbours[j];
        profile.Coincident = profile.Coincident || d2 == 0.0;
      }
    }
    profile.Neighbours[b] += lower;
    profile.Widths[b] = b - first;
    profile.LowerSquares += static_cast<double>(lower) * lower;
    profile.EnvelopeEntries += b - first;
    profile.OffDiagonal += 2 * static_cast<std::int64_t>(lower);
  }
  return profile;
}
}

//------------------------------------------------------------------------------
KernelProfile MeasureKernelProfile(
  const OrderedPoints& points, double radius, double limit, int threads)
{
  return MeasureThroughGrid(points, CellGrid(points, radius), limit, threads);
}

//------------------------------------------------------------------------------
KernelProfile MeasureKernelProfileForChoice(
  const OrderedPoints& points, double radius, double limit, int max, int threads)
{
  const CellGrid grid(points, radius);
  // Squared distances each way computes: the window's rows look back max rows at most.
  const double rows = static_cast<double>(points.N);
  const double reach = std::min(static_cast<double>(std::max(max, 0)), rows);
  const double window = rows * reach - reach * (reach + 1.0) / 2.0;
  if (window < grid.VisitWork())
  {
    return MeasureInWindow(points, limit, max);
  }
  return MeasureThroughGrid(points, grid, limit, threads);
}

//------------------------------------------------------------------------------
std::int64_t SparseKernelBytes(const KernelProfile& profile, int n)
{
  const std::int64_t entries = profile.OffDiagonal + n;
  const std::int64_t grid = 16 * static_cast<std::int64_t>(n);
  // The solve keeps six vectors of n doubles per right-hand side, for the seven of a fit, and
  // the incomplete factor (the lower triangle) with its row starts and one index a row.
  const std::int64_t solve = 7 * 6 * 8 * static_cast<std::int64_t>(n);
  const std::int64_t factor =
    IncompleteCholesky::FactorEntries(profile.OffDiagonal, n) * (8 + 4) + 16 * std::int64_t(n);
  return entries * (8 + 4) + 4 * (static_cast<std::int64_t>(n) + 1) + grid + solve + factor;
}

//------------------------------------------------------------------------------
SparseKernelSystem::SparseKernelSystem() = default;
SparseKernelSystem::~SparseKernelSystem() = default;

//------------------------------------------------------------------------------
void SparseKernelSystem::Assemble(const OrderedPoints& points, const KernelProfile& profile,
  double radius, double limit, double (*value)(double squaredDistance, double radius),
  double smoothing, int threads)
{
  const int n = points.N;
  const CellGrid grid(points, radius);
  this->Stored.reset(new Matrix);
  SparseMatrix& phi = this->Stored->Phi;
  phi.resize(n, n);

  // The counts of the profile allocate the entries once and exactly.
  const std::int64_t entries = profile.OffDiagonal + n;
  if (entries > INT_MAX)
  {
    throw std::bad_alloc(); // beyond the index type of the stored matrix
  }
  phi.resizeNonZeros(static_cast<Eigen::Index>(entries));
  int* const outer = phi.outerIndexPtr();
  int* const inner = phi.innerIndexPtr();
  double* const values = phi.valuePtr();
  outer[0] = 0;
  for (int b = 0; b < n; ++b)
  {
    outer[b + 1] = outer[b] + 1 + profile.Neighbours[b];
  }
  // Every row fills its own entries, on whichever thread.
  parallel_chunks::ForEachChunk(n, GridRowChunk, threads,
    [&](int begin, int end)
    {
      std::vector<std::pair<int, double>> row;
      for (int b = begin; b < end; ++b)
      {
        row.clear();
        row.emplace_back(b, 1.0 + smoothing); // phi(0), and the smoothing on the diagonal
        grid.ForEachNeighbour(points, b, limit,
          [&](int j, double d2)
          { row.emplace_back(j, static_cast<double>(static_cast<float>(value(d2, radius)))); });
        std::sort(row.begin(), row.end());
        int k = outer[b];
        for (const auto& entry : row)
        {
          inner[k] = entry.first;
          values[k] = entry.second;
          ++k;
        }
      }
    });
}

//------------------------------------------------------------------------------
namespace
{
using Block = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

// out = phi * in, the rows shared out among the threads (each row's sums are its own, so the
// result does not depend on how many there are).
void Multiply(const SparseMatrix& phi, const Block& in, Block& out, int threads)
{
  const Eigen::Index n = phi.rows();
  std::vector<std::thread> helpers;
  const Eigen::Index share = (n + threads - 1) / threads;
  for (int t = 1; t < threads && t * share < n; ++t)
  {
    const Eigen::Index first = t * share;
    const Eigen::Index count = std::min(share, n - first);
    try
    {
      helpers.emplace_back([&phi, &in, &out, first, count]
        { out.middleRows(first, count).noalias() = phi.middleRows(first, count) * in; });
    }
    catch (const std::exception&)
    {
      // no thread: this one does those rows as well
      out.middleRows(first, count).noalias() = phi.middleRows(first, count) * in;
    }
  }
  const Eigen::Index count = std::min(share, n);
  out.topRows(count).noalias() = phi.topRows(count) * in;
  for (std::thread& helper : helpers)
  {
    helper.join();
  }
}
}

//------------------------------------------------------------------------------
bool SparseKernelSystem::Precondition()
{
  Matrix& m = *this->Stored;
  m.Factored = false;
  if (!this->Preconditioned)
  {
    return true;
  }
  const SparseMatrix& phi = m.Phi;
  if (!m.Factor.Compute(
        static_cast<int>(phi.rows()), phi.outerIndexPtr(), phi.innerIndexPtr(), phi.valuePtr()))
  {
    return false;
  }
  m.Factored = true;
  return true;
}

//------------------------------------------------------------------------------
double SparseKernelSystem::GetPreconditionerShift() const
{
  return this->Stored && this->Stored->Factored ? this->Stored->Factor.GetShift() : 0.0;
}

//------------------------------------------------------------------------------
namespace
{
// Where a solve with a step budget stops, judged when the budget is spent: each unconverged
// side's squared residual has fallen from initial to now in `steps` steps; at that mean rate
// it reaches its goal after `remaining` more. The solve goes on (with half as many again to
// spare) where every side gets there within as many steps as the budget, and stops at once
// otherwise.
int StepsAfterBudget(const std::vector<double>& initial, const std::vector<double>& now,
  const std::vector<double>& goal, const std::vector<bool>& active, int steps)
{
  double remaining = 0.0;
  for (size_t c = 0; c < now.size(); ++c)
  {
    if (!active[c])
    {
      continue;
    }
    const double rate = std::log(now[c] / initial[c]) / steps; // below 0 while it converges
    const double needed = std::log(goal[c] / now[c]);
    if (!(rate < 0.0) || !std::isfinite(needed))
    {
      return steps;
    }
    remaining = std::max(remaining, needed / rate);
  }
  if (remaining > steps)
  {
    return steps;
  }
  return steps + std::min(steps, static_cast<int>(std::ceil(1.5 * remaining)) + 2);
}
}

//------------------------------------------------------------------------------
SparseSolveResult SparseKernelSystem::Solve(
  const float* const* rhs, float* const* solution, int count, int threads) const
{
  const SparseMatrix& phi = this->Stored->Phi;
  const Eigen::Index n = phi.rows();
  SparseSolveResult result;
  const IncompleteCholesky* factor = this->Stored->Factored ? &this->Stored->Factor : nullptr;

  // Preconditioned conjugate gradients on every right-hand side at once, each with its own
  // step lengths: the matrix and the factor, the bulk of the memory read, are read once per
  // step for all of them. Every sum runs in one fixed order (the products row by row), so the
  // result does not depend on the thread count.
  Block f(n, count);
  for (Eigen::Index i = 0; i < n; ++i)
  {
    for (int c = 0; c < count; ++c)
    {
      f(i, c) = rhs[c][i];
    }
  }
  Block x = Block::Zero(n, count);
  Block r = f;
  Block z = r;
  if (factor)
  {
    factor->Apply(z.data(), count);
  }
  Block p = z;
  Block q(n, count);
  // Per right-hand side: |r|^2 and the |r|^2 to reach, r.z, and the step's coefficients. A
  // side that has reached its goal keeps its x and r, and its direction is zero from then on.
  std::vector<double> norm2(count, 0.0);
  std::vector<double> goal(count);
  std::vector<double> rz(count, 0.0);
  std::vector<double> curvature(count);
  std::vector<double> alpha(count);
  std::vector<double> nextRz(count);
  std::vector<double> keep(count);
  std::vector<double> beta(count);
  std::vector<bool> active(count);
  double* const px = x.data();
  double* const pr = r.data();
  double* const pz = z.data();
  double* const pp = p.data();
  double* const pq = q.data();
  // Entry (i, c) of a block lies at i * count + c.
  for (Eigen::Index k = 0; k < n * count; k += count)
  {
    for (int c = 0; c < count; ++c)
    {
      norm2[c] += pr[k + c] * pr[k + c];
      rz[c] += pr[k + c] * pz[k + c];
    }
  }
  int running = 0;
  for (int c = 0; c < count; ++c)
  {
    // Aim well below the tolerance that is checked at the end: the updated residual that
    // the iteration watches drifts from the true one.
    goal[c] = 1e-4 * Tolerance * Tolerance * norm2[c];
    active[c] = norm2[c] > goal[c];
    running += active[c] ? 1 : 0;
  }
  const std::vector<double> initial = norm2;
  int limit = this->MaximumIterations;
  int step = 0;
  for (; running > 0 && step < limit; ++step)
  {
    if (step == this->StepBudget && step > 0)
    {
      limit = std::min(limit, StepsAfterBudget(initial, norm2, goal, active, step));
      if (step >= limit)
      {
        break;
      }
    }
    Multiply(phi, p, q, threads);
    std::fill(curvature.begin(), curvature.end(), 0.0);
    for (Eigen::Index k = 0; k < n * count; k += count)
    {
      for (int c = 0; c < count; ++c)
      {
        curvature[c] += pp[k + c] * pq[k + c];
      }
    }
    for (int c = 0; c < count; ++c)
    {
      if (active[c] && !(curvature[c] > 0.0))
      {
        // A direction along which the quadratic form is not positive: the matrix is not
        // positive definite (or its numbers are not finite).
        result.NotPositive = true;
        return result;
      }
      alpha[c] = active[c] ? rz[c] / curvature[c] : 0.0;
    }
    std::fill(norm2.begin(), norm2.end(), 0.0);
    for (Eigen::Index k = 0; k < n * count; k += count)
    {
      for (int c = 0; c < count; ++c)
      {
        px[k + c] += alpha[c] * pp[k + c];
        pr[k + c] -= alpha[c] * pq[k + c];
        norm2[c] += pr[k + c] * pr[k + c];
      }
    }
    for (int c = 0; c < count; ++c)
    {
      if (active[c] && norm2[c] <= goal[c])
      {
        active[c] = false;
        --running;
      }
    }
    if (running == 0)
    {
      ++step;
      break;
    }
    z = r;
    if (factor)
    {
      factor->Apply(pz, count);
    }
    std::fill(nextRz.begin(), nextRz.end(), 0.0);
    for (Eigen::Index k = 0; k < n * count; k += count)
    {
      for (int c = 0; c < count; ++c)
      {
        nextRz[c] += pr[k + c] * pz[k + c];
      }
    }
    for (int c = 0; c < count; ++c)
    {
      keep[c] = active[c] ? 1.0 : 0.0;
      beta[c] = active[c] ? nextRz[c] / rz[c] : 0.0;
      rz[c] = active[c] ? nextRz[c] : rz[c];
    }
    for (Eigen::Index k = 0; k < n * count; k += count)
    {
      for (int c = 0; c < count; ++c)
      {
        pp[k + c] = keep[c] * pz[k + c] + beta[c] * pp[k + c];
      }
    }
  }
  result.Iterations = step;

  // The residual of what is handed out, computed anew.
  Multiply(phi, x, q, threads);
  result.Converged = true;
  for (int c = 0; c < count; ++c)
  {
    const double norm = f.col(c).norm();
    const double residual = (q.col(c) - f.col(c)).norm() / (norm > 0.0 ? norm : 1.0);
    result.Residual = std::max(result.Residual, residual);
    result.Converged = result.Converged && residual <= Tolerance;
    for (Eigen::Index i = 0; i < n; ++i)
    {
      solution[c][i] = static_cast<float>(x(i, c));
    }
  }
  return result;
}
