#ifndef EnvelopeSolver_h
#define EnvelopeSolver_h

/**
 * Envelope (profile, skyline) Cholesky factorisation and triangular solves for a sparse
 * symmetric positive-definite matrix A = L*L^T, after George and Liu.
 *
 * Storage, rows and columns numbered from 0:
 *
 *   Diag[n]      diagonal of A; after envelope_factor the diagonal of L.
 *   Xenv[n+1]    1-based positions into Env: row i stores w(i) = Xenv[i+1] - Xenv[i] entries
 *                A(i, i-w(i)) ... A(i, i-1) at 0-based Env[Xenv[i]-1] ... Env[Xenv[i+1]-2],
 *                so A(i, j) inside the envelope lies at Env[Xenv[i+1] - 1 - (i - j)].
 *                Xenv[0] = Xenv[1] = 1; Xenv[n] - 1 entries are stored.
 *   Env[]        the strictly lower envelope, row after row; after factorisation the
 *                off-diagonal entries of L in the same places.
 *
 *       | a00             |       Diag = a00 a11 a22 a33
 *   A = |  .  a11         |       Xenv = 1 1 1 3 5       (rows 2 and 3 store two entries)
 *       | a20 a21 a22     |       Env  = a20 a21 a31 a32
 *       |  .  a31 a32 a33 |
 *
 * Entries left of a row's envelope are zero; entries inside it are stored even when zero.
 * Inner products are accumulated in double precision in eight interleaved partial sums (the
 * term of column c into sum c mod 8, combined as ((s0 + s4) + (s2 + s6)) + ((s1 + s5) +
 * (s3 + s7))); results are rounded to float when stored. The routines allocate nothing and
 * work in place.
 */

/** The process-wide envelope system worked on by envelope_solve(). */
struct EnvelopeSystem
{
  int N = 0;
  float* Diag = nullptr;
  int* Xenv = nullptr;
  float* Env = nullptr;
  /** 0 when the factorisation succeeded, 1 when a pivot was not positive. */
  int Iflag = 0;
};

EnvelopeSystem& envelope_system();

/**
 * Factors A in place (row-by-row bordering). Diag[0] not greater than 0 sets *iflag to 1 and
 * changes nothing else. A later non-positive pivot sets *iflag to 1, leaves that Diag entry
 * at its input value and goes on with the following rows. *iflag is never cleared.
 */
void envelope_factor(int n, const int* xenv, float* env, float* diag, int* iflag);

/**
 * Tells how far envelope_factor has got: report(fraction, data) with the share of the envelope
 * factored, on the calling thread, and with 1 when it ends (before envelope_solve reports a
 * failed factorisation). A null report (the default) tells nothing.
 */
using EnvelopeProgress = void (*)(double fraction, void* data);
void envelope_set_progress(EnvelopeProgress report, void* data);

/**
 * The number of threads envelope_factor uses for this envelope (see
 * envelope_set_thread_count); also how many solves are worth running side by side.
 */
int envelope_thread_count(int n, const int* xenv);

/**
 * Solves L*y = rhs in place (forward substitution). xenv and diag may be tails of the full
 * arrays (a block of rows); a row's envelope is then clipped to the block. Leading zeros of
 * rhs and products with components known to be zero are skipped.
 */
void envelope_lower_solve(int n, const int* xenv, const float* env, const float* diag, float* rhs);

/** Solves L^T*x = rhs in place (column-oriented backward substitution). */
void envelope_upper_solve(int n, const int* xenv, const float* env, const float* diag, float* rhs);

/**
 * Works on envelope_system():
 *   mode 0: factor, then solve with rhs (also after a failed factorisation);
 *   mode 1: factor; rhs is not used;
 *   mode 2: solve with rhs, which must hold N floats (after a mode 1 factorisation);
 *   other:  nothing.
 * Returns Iflag (1 after a failed factorisation); nothing is printed: the caller reports.
 */
int envelope_solve(int mode, float* rhs);

/**
 * Solves with `count` right-hand sides of N floats each, after a mode 1 factorisation of
 * envelope_system(): the same results as envelope_solve(2, rhs[k]) for each k, with the
 * envelope read once for several of them.
 */
void envelope_solve_many(float* const* rhs, int count);

#endif
