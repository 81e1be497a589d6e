#include "AffineSpan.h"

#include <vtkPoints.h>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace
{
// A spread below this many float roundings of the largest coordinate is taken for flat: the
// coordinates themselves cannot carry a thickness that small.
constexpr double FlatnessUlps = 32.0;
}

//------------------------------------------------------------------------------
void SymmetricEigen(int n, double* a, double* values, double* vectors)
{
  for (int r = 0; r < n; ++r)
  {
    for (int c = 0; c < n; ++c)
    {
      vectors[r * n + c] = r == c ? 1.0 : 0.0;
    }
  }
  for (int sweep = 0; sweep < 64; ++sweep)
  {
    double off = 0.0;
    for (int p = 0; p < n; ++p)
    {
      for (int q = p + 1; q < n; ++q)
      {
        off += a[p * n + q] * a[p * n + q];
      }
    }
    if (off == 0.0)
    {
      break;
    }
    for (int p = 0; p < n; ++p)
    {
      for (int q = p + 1; q < n; ++q)
      {
        const double apq = a[p * n + q];
        if (apq == 0.0)
        {
          continue;
        }
        const double theta = (a[q * n + q] - a[p * n + p]) / (2.0 * apq);
        const double t =
          (theta >= 0.0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
        const double c = 1.0 / std::sqrt(t * t + 1.0);
        const double s = t * c;
        for (int k = 0; k < n; ++k)
        {
          const double akp = a[k * n + p];
          const double akq = a[k * n + q];
          a[k * n + p] = c * akp - s * akq;
          a[k * n + q] = s * akp + c * akq;
        }
        for (int k = 0; k < n; ++k)
        {
          const double apk = a[p * n + k];
          const double aqk = a[q * n + k];
          a[p * n + k] = c * apk - s * aqk;
          a[q * n + k] = s * apk + c * aqk;
        }
        for (int k = 0; k < n; ++k)
        {
          const double vkp = vectors[k * n + p];
          const double vkq = vectors[k * n + q];
          vectors[k * n + p] = c * vkp - s * vkq;
          vectors[k * n + q] = s * vkp + c * vkq;
        }
      }
    }
  }
  for (int k = 0; k < n; ++k)
  {
    values[k] = a[k * n + k];
  }
}

//------------------------------------------------------------------------------
AffineSpan ComputeAffineSpan(vtkPoints* points)
{
  AffineSpan span;
  const vtkIdType n = points ? points->GetNumberOfPoints() : 0;
  if (n == 0)
  {
    return span;
  }
  double mean[3] = { 0.0, 0.0, 0.0 };
  double scale = 0.0;
  for (vtkIdType i = 0; i < n; ++i)
  {
    double p[3];
    points->GetPoint(i, p);
    for (int k = 0; k < 3; ++k)
    {
      mean[k] += p[k];
      scale = std::max(scale, std::fabs(p[k]));
    }
  }
  for (double& m : mean)
  {
    m /= static_cast<double>(n);
  }
  double cov[9] = {};
  for (vtkIdType i = 0; i < n; ++i)
  {
    double p[3];
    points->GetPoint(i, p);
    const double q[3] = { p[0] - mean[0], p[1] - mean[1], p[2] - mean[2] };
    for (int r = 0; r < 3; ++r)
    {
      for (int c = 0; c < 3; ++c)
      {
        cov[r * 3 + c] += q[r] * q[c];
      }
    }
  }
  for (double& v : cov)
  {
    v /= static_cast<double>(n);
  }
  double values[3];
  double vectors[9];
  SymmetricEigen(3, cov, values, vectors);

  const double limit = FlatnessUlps * FLT_EPSILON * scale;
  span.Basis[0][0] = 1.0;
  span.Rank = 1;
  for (int k = 0; k < 3 && span.Rank < n; ++k)
  {
    const double sigma = std::sqrt(std::max(values[k], 0.0));
    if (!(sigma > limit))
    {
      continue;
    }
    const double e[3] = { vectors[0 * 3 + k], vectors[1 * 3 + k], vectors[2 * 3 + k] };
    double* b = span.Basis[span.Rank++];
    b[0] = -(mean[0] * e[0] + mean[1] * e[1] + mean[2] * e[2]) / sigma;
    b[1] = e[0] / sigma;
    b[2] = e[1] / sigma;
    b[3] = e[2] / sigma;
  }
  return span;
}

//------------------------------------------------------------------------------
void SolveAffineInSpan(const AffineSpan& span, const float* S, const float* g, float* d)
{
  const int r = span.Rank;
  double reduced[16] = {};
  double rhs[4] = {};
  for (int i = 0; i < r; ++i)
  {
    for (int j = 0; j < r; ++j)
    {
      double sum = 0.0;
      for (int p = 0; p < 4; ++p)
      {
        for (int q = 0; q < 4; ++q)
        {
          sum += span.Basis[i][p] * static_cast<double>(S[p * 4 + q]) * span.Basis[j][q];
        }
      }
      reduced[i * r + j] = sum;
    }
    for (int p = 0; p < 4; ++p)
    {
      rhs[i] += span.Basis[i][p] * static_cast<double>(g[p]);
    }
  }
  // S is symmetric up to rounding; the eigen-decomposition wants it exactly so.
  for (int i = 0; i < r; ++i)
  {
    for (int j = i + 1; j < r; ++j)
    {
      const double m = 0.5 * (reduced[i * r + j] + reduced[j * r + i]);
      reduced[i * r + j] = reduced[j * r + i] = m;
    }
  }
  double values[4] = {};
  double vectors[16] = {};
  if (r > 0)
  {
    SymmetricEigen(r, reduced, values, vectors);
  }
  double largest = 0.0;
  for (int k = 0; k < r; ++k)
  {
    largest = std::max(largest, std::fabs(values[k]));
  }
  double a[4] = {};
  for (int k = 0; k < r; ++k)
  {
    if (!(std::fabs(values[k]) > 1e-12 * largest))
    {
      continue;
    }
    double proj = 0.0;
    for (int i = 0; i < r; ++i)
    {
      proj += vectors[i * r + k] * rhs[i];
    }
    for (int i = 0; i < r; ++i)
    {
      a[i] += vectors[i * r + k] * proj / values[k];
    }
  }
  for (int p = 0; p < 4; ++p)
  {
    double sum = 0.0;
    for (int k = 0; k < r; ++k)
    {
      sum += span.Basis[k][p] * a[k];
    }
    d[p] = static_cast<float>(sum);
  }
}
