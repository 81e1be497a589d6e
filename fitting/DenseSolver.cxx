#include "DenseSolver.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace
{
DenseSystem TheDenseSystem;

// M(r, c) of the m-row matrix read column by column.
inline float& M(float* a, int m, int r, int c)
{
  return a[c * m + r];
}
}

//------------------------------------------------------------------------------
DenseSystem& dense_system()
{
  return TheDenseSystem;
}

//------------------------------------------------------------------------------
double vector_norm(const float* x, int count)
{
  double sum = 0.0;
  for (int k = 0; k < count; ++k)
  {
    sum += static_cast<double>(x[k]) * x[k];
  }
  return std::sqrt(sum);
}

//------------------------------------------------------------------------------
double vector_dot(const float* x, const float* y, int count)
{
  double sum = 0.0;
  for (int k = 0; k < count; ++k)
  {
    sum += static_cast<double>(x[k]) * y[k];
  }
  return sum;
}

//------------------------------------------------------------------------------
void vector_scale(double a, float* x, int count)
{
  for (int k = 0; k < count; ++k)
  {
    x[k] = static_cast<float>(a * x[k]);
  }
}

//------------------------------------------------------------------------------
void vector_axpy(double a, const float* x, float* y, int count)
{
  for (int k = 0; k < count; ++k)
  {
    y[k] = static_cast<float>(y[k] + a * x[k]);
  }
}

//------------------------------------------------------------------------------
void qr_factor(int m, int p, float* qraux)
{
  float* a = TheDenseSystem.Matrix;
  // The reflection vector must survive the overwrite of its leading entry by R's diagonal.
  float v[DenseOrder];
  int j = 0;
  for (int i = 0; i < m - 1 && j < p; ++i)
  {
    float* x = &M(a, m, i, j);
    const int len = m - i;
    double nu = vector_norm(x, len);
    if (nu == 0.0)
    {
      qraux[j] = 0.0f;
      continue;
    }
    if (x[0] < 0.0f)
    {
      nu = -nu;
    }
    vector_scale(1.0 / nu, x, len);
    x[0] = static_cast<float>(x[0] + 1.0);
    for (int k = 0; k < len; ++k)
    {
      v[k] = x[k];
    }
    qraux[j] = v[0];
    x[0] = static_cast<float>(-nu);
    for (int c = j + 1; c < p; ++c)
    {
      float* col = &M(a, m, i, c);
      const double t = -vector_dot(v, col, len) / v[0];
      vector_axpy(t, v, col, len);
    }
    ++j;
  }
}

//------------------------------------------------------------------------------
void qr_solve_rt(float* y, int m, int k)
{
  float* a = TheDenseSystem.Matrix;
  for (int j = 0; j < m; ++j)
  {
    y[j] = static_cast<float>(static_cast<double>(y[j]) / M(a, m, j, j));
    for (int c = j + 1; c < k; ++c)
    {
      y[c] = static_cast<float>(y[c] - static_cast<double>(y[j]) * M(a, m, j, c));
    }
  }
}

//------------------------------------------------------------------------------
void qr_apply_q(const float* qraux, float* y, int m, int k)
{
  float* a = TheDenseSystem.Matrix;
  float w[DenseOrder];
  w[m - 1] = y[k - 1];
  for (int i = m - 2; i >= 0; --i)
  {
    w[i] = y[i];
    if (qraux[i] != 0.0f)
    {
      float* v = &M(a, m, i, i);
      const float diagonal = v[0];
      v[0] = qraux[i];
      const double t = -vector_dot(v, &w[i], m - i) / qraux[i];
      vector_axpy(t, v, &w[i], m - i);
      v[0] = diagonal;
    }
  }
  for (int r = 0; r < m; ++r)
  {
    y[r] = w[r];
  }
}

//------------------------------------------------------------------------------
void dense_solve()
{
  float qraux[DenseOrder] = { 0.0f, 0.0f, 0.0f, 0.0f };
  qr_factor(DenseOrder, DenseOrder, qraux);
  qr_solve_rt(TheDenseSystem.Vector, DenseOrder, DenseOrder);
  qr_apply_q(qraux, TheDenseSystem.Vector, DenseOrder, DenseOrder);
}

//------------------------------------------------------------------------------
float** allocate_matrix(unsigned nrl, unsigned nrh, unsigned ncl, unsigned nch)
{
  const std::uint64_t rows = nrh >= nrl ? std::uint64_t(nrh) - nrl + 1 : 0;
  const std::uint64_t cols = nch >= ncl ? std::uint64_t(nch) - ncl + 1 : 0;
  // One spare pointer and float keep the blocks non-empty, so that a zero-size table is
  // never mistaken for a failed allocation.
  auto** table = static_cast<float**>(std::malloc((rows + 1) * sizeof(float*)));
  if (!table)
  {
    throw "allocation faliture for the matrix in allocate_matrix";
  }
  table -= nrl;
  for (std::uint64_t r = 0; r < rows; ++r)
  {
    auto* row = static_cast<float*>(std::malloc((cols + 1) * sizeof(float)));
    if (!row)
    {
      // Nothing of the matrix outlives the failure.
      for (std::uint64_t done = 0; done < r; ++done)
      {
        std::free(table[nrl + done] + ncl);
      }
      std::free(table + nrl);
      throw "allocation faliture for the rows of matrix in allocate_matrix";
    }
    table[nrl + r] = row - ncl;
  }
  return table;
}

//------------------------------------------------------------------------------
void free_matrix(float** m, unsigned nrl, unsigned nrh, unsigned ncl)
{
  if (!m)
  {
    return;
  }
  if (nrh >= nrl)
  {
    for (std::uint64_t r = nrl; r <= nrh; ++r)
    {
      std::free(m[r] + ncl);
    }
  }
  std::free(m + nrl);
}
