#ifndef AffineSpan_h
#define AffineSpan_h

class vtkPoints;

/**
 * The affine functions d0 + d1*x + d2*y + d3*z that a set of landmark positions can tell
 * apart. With fewer than four landmarks, or landmarks on one plane or one line, some nonzero
 * affine functions vanish at every landmark: the 4 x 4 system of the spline's affine part is
 * then singular and its solution is not unique.
 *
 * The span is described by an orthonormal frame of the positions' spread: the constant
 * function, and for every principal direction e_k in which the positions spread further than
 * single-precision rounding of their coordinates can explain, the function
 * ((p - mean) . e_k) / sigma_k. A direction whose spread is below that limit counts as flat.
 */
struct AffineSpan
{
  /** 0 without landmarks, 1 for one point (or coincident ones), 2 on a line, 3 on a plane,
   * 4 when the positions span space. */
  int Rank = 0;
  /** Basis[k] holds (d0, d1, d2, d3) of the k-th basis function, k < Rank. */
  double Basis[4][4] = {};
};

/** The span of the given positions (all points of the set). */
AffineSpan ComputeAffineSpan(vtkPoints* points);

/**
 * Solves S*d = g for d restricted to the span: d = B*a with (B^T*S*B)*a = B^T*g, B being the
 * span's basis. S is stored row by row (16 floats). The reduced system is solved in double
 * precision through its eigen-decomposition (minimum-norm in the basis' coordinates), so d is
 * finite for any finite S and g. With rank 0 d is zero.
 */
void SolveAffineInSpan(const AffineSpan& span, const float* S, const float* g, float* d);

/**
 * Eigen-decomposition of a symmetric n x n matrix (n <= 4) by cyclic Jacobi rotations.
 * a (row by row, n*n) is destroyed; values receives the eigenvalues, vectors (row by row)
 * the eigenvectors as columns.
 */
void SymmetricEigen(int n, double* a, double* values, double* vectors);

#endif
