#ifndef EnvelopeKernels_h
#define EnvelopeKernels_h

// The loops behind envelope_factor, envelope_lower_solve and envelope_upper_solve, built for
// the x86-64 baseline and, where the compiler can, for AVX2 with FMA (EnvelopeKernels.inc).

#define ENVELOPE_KERNELS_DECLARE(space)                                                            \
  namespace space                                                                                  \
  {                                                                                                \
  bool envelope_factor_rows(int begin, int end, const int* xenv, float* env, float* diag);         \
  /* The inner product of a and b over the columns [lo, hi) (a, b at column lo). */                \
  double envelope_inner_product(const float* a, const float* b, int lo, int hi);                   \
  void envelope_lower_solve_rows(                                                                  \
    int n, const int* xenv, const float* env, const float* diag, float* rhs);                      \
  void envelope_upper_solve_rows(                                                                  \
    int n, const int* xenv, const float* env, const float* diag, float* rhs);                      \
  }

ENVELOPE_KERNELS_DECLARE(envelope_base)
#if defined(ENVELOPE_HAVE_AVX2_KERNELS)
ENVELOPE_KERNELS_DECLARE(envelope_avx2)
#endif

/**
 * Chooses the loops: the widest the processor runs (wide = true, the default), or the
 * baseline ones. Both give identical results; tests compare them. Returns whether the
 * requested kind is in use.
 */
bool envelope_select_kernels(bool wide);

#endif
