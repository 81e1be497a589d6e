#ifndef EnvelopeKernels_h
#define EnvelopeKernels_h

// The loops behind envelope_factor, envelope_lower_solve and envelope_upper_solve, built for
// the x86-64 baseline and, where the compiler can, for AVX2 with FMA (EnvelopeKernels.inc).

/** The factorisation works on blocks of this many consecutive rows, starting at row 1. */
constexpr int EnvelopeBlockRows = 16;

/** The most right-hand sides one call of the solves below works on side by side. */
constexpr int EnvelopeSharedSolves = 4;

/**
 * How a block of rows waits for the rows of L it reads when several threads factor side by
 * side. Wait(Context, row) returns once row `row` of L is complete, with a row index above
 * it below which every row is complete; the caller keeps that in Ready (start with 1: row 0
 * is done before any block).
 */
struct EnvelopeRowGate
{
  int (*Wait)(void* context, int row) = nullptr;
  void* Context = nullptr;
  int Ready = 1;
};

#define ENVELOPE_KERNELS_DECLARE(space)                                                            \
  namespace space                                                                                  \
  {                                                                                                \
  /* Rows block ... min(block + EnvelopeBlockRows, end) - 1 of the factorisation; returns          \
     whether every pivot was positive. gate: null when every row left of the block is done.        \
   */                                                                                              \
  bool envelope_factor_block(                                                                      \
    int block, int end, const int* xenv, float* env, float* diag, EnvelopeRowGate* gate);          \
  /* The inner product of a and b over the columns [lo, hi) (a, b at column lo). */                \
  double envelope_inner_product(const float* a, const float* b, int lo, int hi);                   \
  /* The solves of count (1 ... EnvelopeSharedSolves) right-hand sides side by side; each     \
     gets exactly the result it would get alone. */                                            \
  void envelope_lower_solve_many(                                                              \
    int n, const int* xenv, const float* env, const float* diag, float* const* rhs, int count); \
  void envelope_upper_solve_many(                                                              \
    int n, const int* xenv, const float* env, const float* diag, float* const* rhs, int count); \
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

/**
 * How many threads envelope_factor uses: 0 (the default) lets it choose (every processor
 * for envelopes of a million entries or more, one below), any other count is used as given.
 * The factor is the same, bit for bit, for every count.
 */
void envelope_set_thread_count(int threads);

#endif
