#ifndef IncompleteCholesky_h
#define IncompleteCholesky_h

/**
 * Incomplete Cholesky factor without fill, IC(0), of a symmetric positive-definite sparse
 * matrix: L is lower triangular with exactly the pattern of A's lower triangle, and L*L^T
 * matches A on that pattern. It preconditions the conjugate gradient solve of the kernel
 * system, where the number of steps otherwise grows with how unevenly the landmarks are
 * spread (two landmarks close together give two nearly equal rows).
 *
 * Storage, compressed sparse rows numbered from 0. A (read) holds both triangles with every
 * row's columns in increasing order and its diagonal present:
 *
 *       | a00 a01  .  |      Start  = 0 2 5 7      (Start[n] entries)
 *   A = | a10 a11 a12 |      Column = 0 1  0 1 2  1 2
 *       |  .  a21 a22 |      Value  = a00 a01  a10 a11 a12  a21 a22
 *
 * L keeps, row by row, the entries of columns up to the diagonal, the diagonal last.
 *
 * Where a pivot would not be positive (the kernel matrices of close landmarks can do that
 * without fill), the factor is computed anew for A + shift*diag(A), the shift starting at 1e-3
 * of the diagonal and growing tenfold until every pivot is positive. Everything runs in a
 * fixed order on one thread: the factor is the same on any machine and thread count.
 */

#include <cstdint>
#include <vector>

class IncompleteCholesky
{
public:
  /**
   * Factors A (n rows, pattern and values as above). Returns false when no shift up to 1e3
   * gives positive pivots (A is then far from positive definite, or not finite). Throws
   * std::bad_alloc when the factor (about 12 bytes per entry of the lower triangle) does not fit.
   */
  bool Compute(int n, const int* start, const int* column, const double* value);

  /** The relative shift the last Compute() needed (0 when none). */
  double GetShift() const { return this->Shift; }

  /** Entries of the factor, for the memory estimate: the lower triangle of A with its diagonal. */
  static std::int64_t FactorEntries(std::int64_t offDiagonal, int n) { return offDiagonal / 2 + n; }

  /**
   * Applies (L*L^T)^-1 to `count` vectors stored interleaved (entry i of vector c at
   * x[i * count + c]), in place: the factor is read once for all of them.
   */
  void Apply(double* x, int count) const;

private:
  bool Factor(const int* start, const int* column, const double* value, double shift);

  int N = 0;
  double Shift = 0.0;
  std::vector<std::int64_t> Start; // n + 1 row starts into Column and Value
  std::vector<int> Column;
  std::vector<double> Value;
};

#endif
