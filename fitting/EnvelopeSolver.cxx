#include "EnvelopeSolver.h"

#include "FitProgress.h"

#include <cmath>
#include <cstdio>
#include <cstring>

// The hot loops are compiled twice, for the x86-64 baseline and for AVX2/FMA, and the loader
// picks the one the processor runs. Both give the same results: the order of every sum is
// fixed by the code below, not by the instruction set, and a product of two floats is exact
// in double precision, so a fused multiply-add rounds exactly like a multiply and an add.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(QUORVEL_NO_CLONES)
#define ENVELOPE_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define ENVELOPE_CLONES
#endif
#define ENVELOPE_INLINE inline __attribute__((always_inline))

namespace
{
EnvelopeSystem TheEnvelopeSystem;

typedef double Double4 __attribute__((vector_size(32)));
typedef float Float4 __attribute__((vector_size(16)));

// Four floats from anywhere in memory, widened to double.
#define ENVELOPE_WIDEN(dst, src)                                                                   \
  do                                                                                               \
  {                                                                                                \
    Float4 narrow_;                                                                                \
    std::memcpy(&narrow_, (src), sizeof narrow_);                                                  \
    (dst) = __builtin_convertvector(narrow_, Double4);                                             \
  } while (0)

// Row i's envelope width, clipped to a block whose first row is row 0 of xenv.
ENVELOPE_INLINE int ClippedWidth(const int* xenv, int i)
{
  const int w = xenv[i + 1] - xenv[i];
  return w >= i + 1 ? i : w;
}

// Inner product accumulated in double precision. Terms go in blocks of 16 into 16 partial
// sums (term k of a block into sum k), so that the additions are independent and run at the
// speed of the loads; the remaining terms are summed in order on their own. The partial sums
// are combined as sum k + sum k+8, then k + k+4 (for k < 4), then (0 + 2) + (1 + 3), and the
// remainder is added last. The order is fixed, so results do not depend on the instruction
// set the loop runs on.
ENVELOPE_INLINE double Dot(const float* a, const float* b, int count)
{
  Double4 s0 = { 0.0, 0.0, 0.0, 0.0 };
  Double4 s1 = s0;
  Double4 s2 = s0;
  Double4 s3 = s0;
  int k = 0;
  for (; k + 16 <= count; k += 16)
  {
    Double4 x;
    Double4 y;
    ENVELOPE_WIDEN(x, a + k);
    ENVELOPE_WIDEN(y, b + k);
    s0 += x * y;
    ENVELOPE_WIDEN(x, a + k + 4);
    ENVELOPE_WIDEN(y, b + k + 4);
    s1 += x * y;
    ENVELOPE_WIDEN(x, a + k + 8);
    ENVELOPE_WIDEN(y, b + k + 8);
    s2 += x * y;
    ENVELOPE_WIDEN(x, a + k + 12);
    ENVELOPE_WIDEN(y, b + k + 12);
    s3 += x * y;
  }
  double rest = 0.0;
  for (; k < count; ++k)
  {
    rest += static_cast<double>(a[k]) * b[k];
  }
  s0 += s2;
  s1 += s3;
  s0 += s1;
  double h[4];
  std::memcpy(h, &s0, sizeof h);
  return ((h[0] + h[2]) + (h[1] + h[3])) + rest;
}

ENVELOPE_INLINE void LowerSolve(
  int n, const int* xenv, const float* env, const float* diag, float* rhs)
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

// Rows begin ... end - 1 of the factorisation (row 0 is done by the caller). Returns whether
// every pivot was positive.
ENVELOPE_CLONES bool FactorRows(int begin, int end, const int* xenv, float* env, float* diag)
{
  bool positive = true;
  for (int i = begin; i < end; ++i)
  {
    const int w = xenv[i + 1] - xenv[i];
    double t = diag[i];
    if (w > 0)
    {
      // Row i of L solves the triangle of the rows it reaches back to; its own storage is
      // the right-hand side, so no copy is made.
      float* row = env + (xenv[i] - 1);
      LowerSolve(w, xenv + (i - w), env, diag + (i - w), row);
      t -= Dot(row, row, w);
    }
    if (t > 0.0)
    {
      diag[i] = static_cast<float>(std::sqrt(t));
    }
    else
    {
      positive = false;
    }
  }
  return positive;
}

ENVELOPE_CLONES void LowerSolveCloned(
  int n, const int* xenv, const float* env, const float* diag, float* rhs)
{
  LowerSolve(n, xenv, env, diag, rhs);
}

ENVELOPE_CLONES void UpperSolveCloned(
  int n, const int* xenv, const float* env, const float* diag, float* rhs)
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
    // Each entry is updated on its own (no sum), four at a time where possible.
    const double sd = s;
    const Double4 s4 = { sd, sd, sd, sd };
    int k = 0;
    for (; k + 4 <= w; k += 4)
    {
      Double4 x;
      Double4 y;
      ENVELOPE_WIDEN(x, r + k);
      ENVELOPE_WIDEN(y, e + k);
      const Float4 updated = __builtin_convertvector(x - s4 * y, Float4);
      std::memcpy(r + k, &updated, sizeof updated);
    }
    for (; k < w; ++k)
    {
      r[k] = static_cast<float>(r[k] - sd * e[k]);
    }
  }
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
  // Rows are factored in slices, so that a long factorisation can tell how far it has got;
  // the work done so far is about the share of the envelope already factored.
  const double entries = static_cast<double>(xenv[n] - 1);
  const int slice = 1024;
  for (int begin = 1; begin < n; begin += slice)
  {
    const int end = n - begin > slice ? begin + slice : n;
    if (!FactorRows(begin, end, xenv, env, diag))
    {
      *iflag = 1;
    }
    if (entries > 0.0)
    {
      FitReportProgress(static_cast<double>(xenv[end] - 1) / entries);
    }
  }
}

//------------------------------------------------------------------------------
void envelope_lower_solve(int n, const int* xenv, const float* env, const float* diag, float* rhs)
{
  LowerSolveCloned(n, xenv, env, diag, rhs);
}

//------------------------------------------------------------------------------
void envelope_upper_solve(int n, const int* xenv, const float* env, const float* diag, float* rhs)
{
  UpperSolveCloned(n, xenv, env, diag, rhs);
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
      FitReportOutput();
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
