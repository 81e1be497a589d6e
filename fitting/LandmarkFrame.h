#ifndef LandmarkFrame_h
#define LandmarkFrame_h

/**
 * The coordinates a landmark set is fitted in.
 *
 * The fit works in single precision, which holds about seven significant digits of a
 * coordinate. Scanner, CT and map coordinates lie 1e3 to 1e6 units from the origin while the
 * landmarks span a few units: there, rounding the absolute coordinates to single precision
 * loses the moves (landmarks a few thousandths apart fall onto one value, and the affine
 * columns of the kernel system lose their digits to the offset). A set whose source positions
 * lie farther from the origin than they spread around their centroid is therefore fitted
 * relative to that centroid, and the translation is folded back into the affine part of the
 * fitted spline afterwards (the positions themselves are kept as given, in double precision).
 * A set near the origin is fitted in its own coordinates, exactly as before.
 *
 * The folded constant term c - A o of each axis (A the affine factors, o the centroid) is
 * large where the set is far away and cancels against A x at the landmarks: it is kept in
 * double precision beside its single-precision rounding, which alone would lose about
 * 6e-8 |A o|.
 */

class vtkPoints;

class LandmarkFrame
{
public:
  /** Chooses the frame for these source positions (no shift for an empty set). */
  explicit LandmarkFrame(vtkPoints* sources);

  /** Whether the set is fitted relative to the centroid of its source positions. */
  bool IsShifted() const { return this->Shifted; }

  /** The origin of the frame in the given coordinates: the centroid, or 0. */
  const double* GetOrigin() const { return this->Origin; }

  /** p in the frame's coordinates (p - origin, in double precision). */
  void ToFrame(const double p[3], double out[3]) const;

  /**
   * Gives the spline fitted in the frame (n kernel weights, then the constant term and the
   * factors of x, y and z per axis) the constant terms it has in the given coordinates,
   * c - (a_x o_x + a_y o_y + a_z o_z) computed in double precision: into constants, and
   * rounded once into entry n of each axis. Nothing changes for a set that is not shifted
   * (constants then receives the entries n as they are).
   */
  void FoldIntoAffinePart(long long n, float* cx, float* cy, float* cz, double constants[3]) const;

private:
  double Origin[3] = { 0.0, 0.0, 0.0 };
  bool Shifted = false;
};

#endif
