#ifndef DenseSolver_h
#define DenseSolver_h

/**
 * Dense numeric routines of the fitting tool: vector kernels, a Householder QR without
 * pivoting, and the driver that solves the 4 x 4 system of the spline's affine part.
 *
 * Storage of the dense system (one instance per process, see dense_system()):
 *
 *   Matrix[16]  callers store S row by row, S(r, c) at 4*r + c. The QR routines read the same
 *               array column by column as M(r, c) at c*m + r, so they factor M = S^T.
 *
 *       S = | s00 s01 s02 s03 |     Matrix = s00 s01 s02 s03 s10 ... s33
 *           | s10 s11 s12 s13 |     M(r, c) = Matrix[c*4 + r] = S(c, r)
 *           | ...             |
 *
 *   Vector[4]   right-hand side r before dense_solve(), solution d of S*d = r after it.
 *
 * After qr_factor() R is the upper triangle of M; reflection j is
 * v = (qraux[j], M(j+1, j), ..., M(m-1, j)) and H_j = I - v*v^T / v[0], Q = H_0*H_1*...
 *
 * Sums, norms and quotients are formed in double precision and rounded to float only when
 * stored into an array. None of these routines is reentrant (the dense system is global).
 */

/** The order of the dense system of the affine part. */
constexpr int DenseOrder = 4;

struct DenseSystem
{
  float Matrix[DenseOrder * DenseOrder];
  float Vector[DenseOrder];
};

/** The process-wide dense system worked on by qr_factor, qr_apply_q and dense_solve. */
DenseSystem& dense_system();

/** sqrt(sum x[k]^2) in double precision; 0 for count <= 0. No scaling against overflow. */
double vector_norm(const float* x, int count);
/** sum x[k]*y[k] accumulated from index 0 upwards in double precision; 0 for count <= 0. */
double vector_dot(const float* x, const float* y, int count);
/** x[k] = a*x[k], each entry rounded to float; nothing for count <= 0. */
void vector_scale(double a, float* x, int count);
/** y[k] = y[k] + a*x[k], each entry rounded to float; nothing for count <= 0. */
void vector_axpy(double a, const float* x, float* y, int count);

/**
 * Householder QR of the m x p dense matrix M (read column by column) in place.
 * qraux (p floats, written) receives the leading entries of the reflection vectors.
 * A zero column ends the reduction at that column; the remaining columns stay as they are.
 */
void qr_factor(int m, int p, float* qraux);
/** Solves R^T*z = y in place (y has k entries, k = m in every use). */
void qr_solve_rt(float* y, int m, int k);
/** Replaces y (k = m entries) by Q*y, using qraux from qr_factor. */
void qr_apply_q(const float* qraux, float* y, int m, int k);
/**
 * Solves S*d = r over the dense system. A singular S is neither detected nor reported:
 * the result then holds infinite or not-a-number values.
 */
void dense_solve();

/**
 * A table of float rows for rows nrl..nrh and columns ncl..nch (inclusive), so that m[r][c]
 * is valid in those ranges. The pointer table is one block and each row a block of its own;
 * contents are not initialised. nrh < nrl gives a table without rows.
 * Throws the message text (const char*) when memory is exhausted:
 * "allocation faliture for the matrix in allocate_matrix" (pointer table) or
 * "allocation faliture for the rows of matrix in allocate_matrix" (a row).
 */
float** allocate_matrix(unsigned nrl, unsigned nrh, unsigned ncl, unsigned nch);
/** Releases a table made by allocate_matrix with the same bounds. */
void free_matrix(float** m, unsigned nrl, unsigned nrh, unsigned ncl);

#endif
