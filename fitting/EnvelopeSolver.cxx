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

inline double Dot(const float* a, const float* b, int count)
{
  double sum = 0.0;
  for (int k = 0; k < count; ++k)
  {
    sum += static_cast<double>(a[k]) * b[k];
  }
  return sum;
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
