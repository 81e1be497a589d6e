#include "IncompleteCholesky.h"

#include <cmath>

//------------------------------------------------------------------------------
bool IncompleteCholesky::Compute(int n, const int* start, const int* column, const double* value)
{
  this->N = n;
  this->Start.assign(static_cast<size_t>(n) + 1, 0);
  for (int i = 0; i < n; ++i)
  {
    std::int64_t lower = 0;
    for (int k = start[i]; k < start[i + 1] && column[k] <= i; ++k)
    {
      ++lower;
    }
    this->Start[i + 1] = this->Start[i] + lower;
  }
  this->Column.resize(static_cast<size_t>(this->Start[n]));
  this->Value.resize(static_cast<size_t>(this->Start[n]));
  // The factor of A itself first; each retry ten times the shift.
  for (double shift = 0.0; shift <= 1e3; shift = shift > 0.0 ? 10.0 * shift : 1e-3)
  {
    if (this->Factor(start, column, value, shift))
    {
      this->Shift = shift;
      return true;
    }
  }
  return false;
}

//------------------------------------------------------------------------------
bool IncompleteCholesky::Factor(
  const int* start, const int* column, const double* value, double shift)
{
  const int n = this->N;
  // Where each column of the row being factored lies in it (-1: not in its pattern).
  std::vector<std::int64_t> at(static_cast<size_t>(n), -1);
  for (int i = 0; i < n; ++i)
  {
    const std::int64_t first = this->Start[i];
    const std::int64_t last = this->Start[i + 1] - 1; // the diagonal
    for (std::int64_t t = first; t <= last; ++t)
    {
      const int k = column[start[i] + (t - first)];
      this->Column[t] = k;
      this->Value[t] = value[start[i] + (t - first)];
      at[k] = t;
    }
    if (this->Column[last] != i)
    {
      return false; // no diagonal entry: not a matrix this factor is for
    }
    // L(i,k) = (A(i,k) - sum over j < k of L(i,j) L(k,j)) / L(k,k), k in increasing order;
    // the sum runs over row k's pattern, looked up in row i's.
    double squares = 0.0;
    for (std::int64_t t = first; t < last; ++t)
    {
      const int k = this->Column[t];
      double sum = this->Value[t];
      const std::int64_t kLast = this->Start[k + 1] - 1;
      for (std::int64_t u = this->Start[k]; u < kLast; ++u)
      {
        const std::int64_t j = at[this->Column[u]];
        if (j >= 0)
        {
          sum -= this->Value[j] * this->Value[u];
        }
      }
      const double lik = sum / this->Value[kLast];
      this->Value[t] = lik;
      squares += lik * lik;
    }
    const double pivot = this->Value[last] * (1.0 + shift) - squares;
    for (std::int64_t t = first; t <= last; ++t)
    {
      at[this->Column[t]] = -1;
    }
    if (!(pivot > 0.0) || !std::isfinite(pivot))
    {
      return false;
    }
    this->Value[last] = std::sqrt(pivot);
  }
  return true;
}

//------------------------------------------------------------------------------
void IncompleteCholesky::Apply(double* x, int count) const
{
  const int n = this->N;
  // L y = x, row by row.
  for (int i = 0; i < n; ++i)
  {
    double* xi = x + static_cast<std::int64_t>(i) * count;
    const std::int64_t last = this->Start[i + 1] - 1;
    for (std::int64_t t = this->Start[i]; t < last; ++t)
    {
      const double l = this->Value[t];
      const double* xk = x + static_cast<std::int64_t>(this->Column[t]) * count;
      for (int c = 0; c < count; ++c)
      {
        xi[c] -= l * xk[c];
      }
    }
    const double d = this->Value[last];
    for (int c = 0; c < count; ++c)
    {
      xi[c] /= d;
    }
  }
  // L^T z = y, by columns of L^T (rows of L) from the last.
  for (int i = n - 1; i >= 0; --i)
  {
    double* xi = x + static_cast<std::int64_t>(i) * count;
    const std::int64_t last = this->Start[i + 1] - 1;
    const double d = this->Value[last];
    for (int c = 0; c < count; ++c)
    {
      xi[c] /= d;
    }
    for (std::int64_t t = this->Start[i]; t < last; ++t)
    {
      const double l = this->Value[t];
      double* xk = x + static_cast<std::int64_t>(this->Column[t]) * count;
      for (int c = 0; c < count; ++c)
      {
        xk[c] -= l * xi[c];
      }
    }
  }
}
