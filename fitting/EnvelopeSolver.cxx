#include "EnvelopeSolver.h"

#include "FitProgress.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "EnvelopeKernels.h"

namespace
{
EnvelopeSystem TheEnvelopeSystem;

// The loops for the processor the program runs on, chosen once.
struct Kernels
{
  bool (*FactorRows)(int, int, const int*, float*, float*);
  void (*LowerSolve)(int, const int*, const float*, const float*, float*);
  void (*UpperSolve)(int, const int*, const float*, const float*, float*);
};

const Kernels BaseKernels = { envelope_base::envelope_factor_rows,
  envelope_base::envelope_lower_solve_rows, envelope_base::envelope_upper_solve_rows };

#if defined(ENVELOPE_HAVE_AVX2_KERNELS)
const Kernels Avx2Kernels = { envelope_avx2::envelope_factor_rows,
  envelope_avx2::envelope_lower_solve_rows, envelope_avx2::envelope_upper_solve_rows };
#endif

bool ProcessorRunsAvx2()
{
#if defined(ENVELOPE_HAVE_AVX2_KERNELS)
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
  return false;
#endif
}

const Kernels* ChosenKernels = nullptr;

const Kernels& TheKernels()
{
  if (!ChosenKernels)
  {
    envelope_select_kernels(true);
  }
  return *ChosenKernels;
}
}

//------------------------------------------------------------------------------
bool envelope_select_kernels(bool wide)
{
#if defined(ENVELOPE_HAVE_AVX2_KERNELS)
  if (wide && ProcessorRunsAvx2())
  {
    ChosenKernels = &Avx2Kernels;
    return true;
  }
#endif
  ChosenKernels = &BaseKernels;
  return !wide;
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
    if (!TheKernels().FactorRows(begin, end, xenv, env, diag))
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
  TheKernels().LowerSolve(n, xenv, env, diag, rhs);
}

//------------------------------------------------------------------------------
void envelope_upper_solve(int n, const int* xenv, const float* env, const float* diag, float* rhs)
{
  TheKernels().UpperSolve(n, xenv, env, diag, rhs);
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
