#ifndef SparseKernelSystem_h
#define SparseKernelSystem_h

/**
 * The kernel matrix of the spline fit in compressed sparse rows, for sets whose envelope is too
 * large to store or slower to factor, and its solution by conjugate gradients preconditioned
 * with its incomplete Cholesky factor (the matrix and its products are Eigen's, MPL 2.0 code
 * only).
 *
 * Rows and columns are ordered positions, as in the envelope. A row holds its diagonal entry
 * and one entry for every other landmark whose squared distance lies below `limit` (the
 * smallest squared distance whose square root reaches the radius), found through a grid of
 * cells a little larger than the radius; each entry is value(squared distance), rounded to
 * float as the envelope stores it.
 */

#include <cstdint>
#include <memory>
#include <vector>

struct OrderedPoints
{
  const float* X = nullptr; // n coordinates each, in ordered positions
  const float* Y = nullptr;
  const float* Z = nullptr;
  int N = 0;
};

/** What the neighbours of every landmark make of the kernel matrix, before storing any of it. */
struct KernelProfile
{
  /** Entries the envelope would store (the strictly lower envelope). */
  std::int64_t EnvelopeEntries = 0;
  /** Off-diagonal entries of the whole matrix (both triangles). */
  std::int64_t OffDiagonal = 0;
  /** Two landmarks share a source position: the matrix is singular. */
  bool Coincident = false;
  /** The off-diagonal entries of each row. */
  std::vector<int> Neighbours;
  /** Each row's envelope width: how far before the diagonal its first neighbour lies. */
  std::vector<int> Widths;
  /** The sum over rows of the squared count of neighbours before the diagonal. */
  double LowerSquares = 0.0;
  /**
   * Measured within the ordering's window (every row against the max rows before it) rather
   * than through the grid: it holds what the envelope stores, and the sparse matrix is
   * assembled from a grid profile only.
   */
  bool Windowed = false;
};

/**
 * Counts the neighbours of every landmark, the rows shared out among `threads` (the profile
 * does not depend on how many). Throws std::bad_alloc when its grid and counts (about 32
 * bytes a landmark) do not fit.
 */
KernelProfile MeasureKernelProfile(
  const OrderedPoints& points, double radius, double limit, int threads = 1);

/**
 * The profile for choosing the method, by the cheaper of two ways: through the grid, as
 * MeasureKernelProfile does, or by comparing every row with the max rows before it (the
 * ordering's window, within which the envelope finds every neighbour). Sets whose spacing
 * varies a thousand-fold crowd the grid's cells, and the window is then far cheaper; even
 * sets have wide windows and sparse cells. Which way is taken depends on the points alone,
 * so that the choice is the same on any machine; threads share out the grid's rows. Throws
 * std::bad_alloc like MeasureKernelProfile.
 */
KernelProfile MeasureKernelProfileForChoice(
  const OrderedPoints& points, double radius, double limit, int max, int threads = 1);

/** The bytes a SparseKernelSystem of this profile takes, with the solve of a fit. */
std::int64_t SparseKernelBytes(const KernelProfile& profile, int n);

struct SparseSolveResult
{
  /** Every relative residual is within SparseKernelSystem::Tolerance. */
  bool Converged = false;
  /** A step met a direction of non-positive curvature: Phi is not positive definite. */
  bool NotPositive = false;
  /** The largest relative residual, and the steps taken. */
  double Residual = 0.0;
  int Iterations = 0;
};

class SparseKernelSystem
{
public:
  /** The conjugate gradient iteration takes at most this many steps (default 1000). */
  void SetMaximumIterations(int steps) { this->MaximumIterations = steps; }

  /**
   * A solve not converged after this many steps goes on only where the rate at which its
   * residuals have fallen so far predicts convergence within as many steps again (and stops
   * then at the latest); otherwise it stops there, not converged. 0 (the default): no budget.
   * The prediction uses only the residuals, so the steps taken do not depend on the machine.
   */
  void SetStepBudget(int steps) { this->StepBudget = steps; }
  /** The relative residual |Phi*x - f| / |f| a solve must reach, checked afterwards. */
  static constexpr double Tolerance = 1e-8;

  SparseKernelSystem();
  ~SparseKernelSystem();
  SparseKernelSystem(const SparseKernelSystem&) = delete;
  SparseKernelSystem& operator=(const SparseKernelSystem&) = delete;

  /**
   * Stores the matrix of the points whose profile was measured with the same radius and limit
   * (value: the kernel of a squared distance), with 1 + smoothing on the diagonal; threads
   * share out the rows (the matrix does not depend on how many). Throws std::bad_alloc when
   * it does not fit.
   */
  void Assemble(const OrderedPoints& points, const KernelProfile& profile, double radius,
    double limit, double (*value)(double squaredDistance, double radius), double smoothing = 0.0,
    int threads = 1);

  /**
   * Whether Solve() is preconditioned with the incomplete Cholesky factor of the matrix (on
   * by default). Without it the number of steps grows with how unevenly the landmarks are
   * spread; with it an uneven set takes about as many as an even one.
   */
  void SetPreconditioned(bool on) { this->Preconditioned = on; }

  /**
   * Computes the preconditioner of the assembled matrix (nothing when it is switched off).
   * Returns false when the matrix has no incomplete factor with positive pivots (it is not
   * positive definite). Throws std::bad_alloc when the factor does not fit.
   */
  bool Precondition();

  /** The relative diagonal shift the incomplete factor needed (0: none, or not computed). */
  double GetPreconditionerShift() const;

  /**
   * Solves Phi * x = rhs[c] for count right-hand sides of n floats each; solution[c] (n
   * floats, may be rhs[c]) receives x rounded to float. The relative residuals
   * |Phi*x - f| / |f| are computed anew in double precision at the end. threads: how many
   * share the matrix products (the results do not depend on it). Uses the preconditioner of
   * the last Precondition(), if any. Throws std::bad_alloc when its vectors (six of n doubles
   * per right-hand side) do not fit.
   */
  SparseSolveResult Solve(
    const float* const* rhs, float* const* solution, int count, int threads) const;

private:
  struct Matrix;
  std::unique_ptr<Matrix> Stored;
  int MaximumIterations = 1000;
  int StepBudget = 0;
  bool Preconditioned = true;
};

#endif
