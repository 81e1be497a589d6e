#include "EnvelopeSolver.h"

#include <cmath>
#include <cstdio>

namespace
{
EnvelopeSystem TheEnvelopeSystem;

// Row i's envelope width, clipped to a block whose first row is row 0 of xenv.
inline int ClippedWidth(const int* xenv, int i)
{
  const int w = xenv[i + 1] - xenv[i];
  return w >= i + 1 ? i : w;
}

// Inner product in double precision. Four partial sums (entry k goes to sum k mod 4, the
// sums are added as (s0 + s1) + (s2 + s3)) keep the additions independent, so that the loop
// runs at the speed of the multiplications; the order is fixed, so results do not depend on
// the compiler or on vector widths.
inline double Dot(const float* a, const float* b, int count)
{
  double s0 = 0.0;
  double s1 = 0.0;
  double s2 = 0.0;
  double s3 = 0.0;
  int k = 0;
  for (; k + 4 <= count; k += 4)
  {
    s0 += static_cast<double>(a[k]) * b[k];
    s1 += static_cast<double>(a[k + 1]) * b[k + 1];
    s2 += static_cast<double>(a[k + 2]) * b[k + 2];
    s3 += static_cast<double>(a[k + 3]) * b[k + 3];
  }
  if (k < count)
  {
    s0 += static_cast<double>(a[k]) * b[k];
  }
  if (k + 1 < count)
  {
    s1 += static_cast<double>(a[k + 1]) * b[k + 1];
  }
  if (k + 2 < count)
  {
    s2 += static_cast<double>(a[k + 2]) * b[k + 2];
  }
  return (s0 + s1) + (s2 + s3);
}
}

//------------------------------------------------------------------------------
EnvelopeSystem& envelope_system()
{
  return TheEnvelopeSystem;
}

//------------------------------------------------------------------------------
void envelope_factor(int n, const int* xenv, float* env, float* diag, int* iflag)
{
  if (n <= 0)
  {
    return;
  }
  if (!(diag[0] > 0.0f))
  {
    *iflag = 1;
    return;
  }
  diag[0] = static_cast<float>(std::sqrt(static_cast<double>(diag[0])));
  for (int i = 1; i < n; ++i)
  {
    const int w = xenv[i + 1] - xenv[i];
    double t = diag[i];
    if (w > 0)
    {
      // Row i of L solves the triangle of the rows it reaches back to; its own storage is
      // the right-hand side, so no copy is made.
      float* row = env + (xenv[i] - 1);
      envelope_lower_solve(w, xenv + (i - w), env, diag + (i - w), row);
      t -= Dot(row, row, w);
    }
    if (t > 0.0)
    {
      diag[i] = static_cast<float>(std::sqrt(t));
    }
    else
    {
      *iflag = 1;
    }
  }
}

//------------------------------------------------------------------------------
void envelope_lower_solve(int n, const int* xenv, const float* env, const float* diag, float* rhs)
{
  if (n <= 0)
  {
    return;
  }
  int first = 0;
  while (first < n - 1 && rhs[first] == 0.0f)
  {
    ++first;
  }
  int last = 0; // most recent nonzero component of the solution
  for (int i = first; i < n; ++i)
  {
    const int w = ClippedWidth(xenv, i);
    double s = rhs[i];
    rhs[i] = 0.0f;
    const int l = i - w;
    if (w > 0 && last >= l)
    {
      s -= Dot(env + (xenv[i + 1] - 1 - w), rhs + l, w);
    }
    if (s != 0.0)
    {
      rhs[i] = static_cast<float>(s / diag[i]);
      last = i;
    }
  }
}

//------------------------------------------------------------------------------
void envelope_upper_solve(int n, const int* xenv, const float* env, const float* diag, float* rhs)
{
  for (int i = n - 1; i >= 0; --i)
  {
    if (rhs[i] == 0.0f)
    {
      continue;
    }
    const float s = static_cast<float>(static_cast<double>(rhs[i]) / diag[i]);
    rhs[i] = s;
    const int w = ClippedWidth(xenv, i);
    const float* e = env + (xenv[i + 1] - 1 - w);
    float* r = rhs + (i - w);
    for (int k = 0; k < w; ++k)
    {
      r[k] = static_cast<float>(r[k] - static_cast<double>(s) * e[k]);
    }
  }
}

//------------------------------------------------------------------------------
int envelope_solve(int mode, float* rhs)
{
  EnvelopeSystem& sys = TheEnvelopeSystem;
  if (mode == 0 || mode == 1)
  {
    envelope_factor(sys.N, sys.Xenv, sys.Env, sys.Diag, &sys.Iflag);
    if (sys.Iflag == 1)
    {
      std::printf("Matrix is not positive  Iflag =%d\n", sys.Iflag);
    }
  }
  if (mode == 0 || mode == 2)
  {
    envelope_lower_solve(sys.N, sys.Xenv, sys.Env, sys.Diag, rhs);
    envelope_upper_solve(sys.N, sys.Xenv, sys.Env, sys.Diag, rhs);
  }
  return sys.Iflag;
}
