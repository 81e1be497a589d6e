#ifndef SplineKernel_h
#define SplineKernel_h

/**
 * The fitted spline's kernel and its evaluation, written once for the fitting tool (which
 * fills the kernel matrix) and the shape transform (which evaluates the fit).
 *
 *   phi(r) = (1 - r/R)^2 for r < R, 0 otherwise           R: the support radius
 *
 *   d_A(x) = sum over the landmarks k within reach of x of phi(|p_k - x|) * CoeffA[UnList[k]]
 *            + CoeffA[N] + CoeffA[N+1] * x + CoeffA[N+2] * y + CoeffA[N+3] * z
 *
 * and d(x) = 0 where no landmark is within reach (|p_k - x| <= R, see ReachSquaredDistance).
 *
 * Coordinates are single precision and everything is computed in double precision. Every
 * distance comes from SquaredDistance (dx*dx + dy*dy + dz*dz, in this order) and every weight
 * from it by the one expression in KernelBelowRadius, so that translation units compiled
 * without fused multiply-adds (-ffp-contract=off) agree to the last bit wherever they
 * evaluate the same pair of points.
 *
 * The kernel is not differentiable at r = 0 (its slope there is -2/R in every direction, a
 * cone's tip); the gradient below takes that landmark's term as flat, the mean of its slopes
 * in opposite directions. At r = R the kernel and its slope are 0 and nothing jumps.
 */

#include <algorithm>
#include <cmath>

namespace spline_kernel
{

/** |a - b|^2 in double precision, always by this expression. */
inline double SquaredDistance(double ax, double ay, double az, double bx, double by, double bz)
{
  const double dx = ax - bx;
  const double dy = ay - by;
  const double dz = az - bz;
  return dx * dx + dy * dy + dz * dz;
}

/** phi for a squared distance d2 whose root is below the radius (no check). */
inline double KernelBelowRadius(double d2, double radius)
{
  const double u = 1.0 - std::sqrt(d2) / radius;
  return u * u;
}

/** phi for any squared distance: 0 where its root is at or beyond the radius. */
inline double Kernel(double d2, double radius)
{
  return std::sqrt(d2) < radius ? KernelBelowRadius(d2, radius) : 0.0;
}

/**
 * The smallest squared distance whose square root is not below the radius: the square root
 * is correctly rounded and never decreases, so sqrt(d2) < radius exactly when d2 is below
 * this limit, and a search for neighbours needs no square roots. 0 for a radius that is not
 * positive (no distance is below it).
 */
inline double KernelSquaredDistanceLimit(double radius)
{
  if (!(radius > 0.0))
  {
    return 0.0;
  }
  if (std::isinf(radius))
  {
    return radius;
  }
  double limit = radius * radius;
  while (limit > 0.0 && std::sqrt(std::nextafter(limit, 0.0)) >= radius)
  {
    limit = std::nextafter(limit, 0.0);
  }
  while (std::sqrt(limit) < radius)
  {
    limit = std::nextafter(limit, HUGE_VAL);
  }
  return limit;
}

/** One axis-triple of fitted coefficients, as the coefficient file holds them. */
struct SplineCoefficients
{
  const float* X = nullptr; // N + 4: kernel weights in ordered positions, then
  const float* Y = nullptr; // the constant term and the factors of x, y and z
  const float* Z = nullptr;
  const int* UnList = nullptr; // N: ordered position of landmark k (file order)
  long long N = 0;
  double Radius = 0.0; // positive
  // The three constant terms in double precision, in place of X[N], Y[N] and Z[N] (which
  // hold them rounded), or null. A fit far from the origin has a large constant term that
  // cancels against the factors of x, y and z and needs its digits.
  const double* Constant = nullptr;
};

/**
 * Adds the affine part at x to d: the constant term and the factors of x, y and z (row N
 * to N+3 of each axis). With WithGradient, also its derivative to gradient.
 */
template <bool WithGradient>
void AddAffinePart(
  const SplineCoefficients& c, const double x[3], double d[3], double (*gradient)[3] = nullptr)
{
  const float* cx = c.X;
  const float* cy = c.Y;
  const float* cz = c.Z;
  const long long N = c.N;
  if (c.Constant)
  {
    d[0] += cx[N + 1] * x[0] + cx[N + 2] * x[1] + cx[N + 3] * x[2] + c.Constant[0];
    d[1] += cy[N + 1] * x[0] + cy[N + 2] * x[1] + cy[N + 3] * x[2] + c.Constant[1];
    d[2] += cz[N + 1] * x[0] + cz[N + 2] * x[1] + cz[N + 3] * x[2] + c.Constant[2];
  }
  else
  {
    d[0] += cx[N + 1] * x[0] + cx[N + 2] * x[1] + cx[N + 3] * x[2] + cx[N];
    d[1] += cy[N + 1] * x[0] + cy[N + 2] * x[1] + cy[N + 3] * x[2] + cy[N];
    d[2] += cz[N + 1] * x[0] + cz[N + 2] * x[1] + cz[N + 3] * x[2] + cz[N];
  }
  if (WithGradient)
  {
    const float* axes[3] = { cx, cy, cz };
    for (int a = 0; a < 3; ++a)
    {
      for (int b = 0; b < 3; ++b)
      {
        gradient[a][b] += axes[a][N + 1 + b];
      }
    }
  }
}

/**
 * The squared distances that are within reach of a point: d2 <= R*R, the boundary included
 * (as a radius query takes it). A point with no landmark within reach is not moved; one
 * whose only landmarks are at the radius gets their weight 0 and the affine part.
 */
inline double ReachSquaredDistance(double radius)
{
  return radius * radius;
}

/** One landmark as the evaluation reads it: its position and its three coefficients. */
struct PackedLandmark
{
  double P[3]; // position
  double C[3]; // CoeffX, CoeffY, CoeffZ at the landmark's ordered position
};

/** The radius and the squared-distance bounds derived from it, computed once. */
struct KernelReach
{
  explicit KernelReach(double radius)
    : Radius(radius)
    , Reach2(ReachSquaredDistance(radius))
    , Limit2(KernelSquaredDistanceLimit(radius))
  {
  }
  double Radius;
  double Reach2; // within reach: d2 <= Reach2
  double Limit2; // a weight above 0: d2 < Limit2
};

/**
 * Adds to d, in their order, the kernel terms phi(|p_k - x|) * C_k of the landmarks in
 * [first, last) that are within reach of x, and returns how many are. A landmark beyond
 * reach costs one squared distance (no square root, no branch). With WithGradient, also
 * adds the terms' derivatives to gradient[A][b] = d d_A / d x_b (the analytic derivative
 * of the same sum, the set of landmarks within reach held fixed).
 */
template <bool WithGradient>
long long AddKernelTerms(const PackedLandmark* first, const PackedLandmark* last, const double x[3],
  const KernelReach& reach, double d[3], double (*gradient)[3] = nullptr)
{
  constexpr int Block = 64;
  long long within = 0;
  while (first < last)
  {
    const int m = static_cast<int>(std::min<long long>(Block, last - first));
    int index[Block];
    double distance2[Block];
    int count = 0;
    for (int j = 0; j < m; ++j)
    {
      const double* p = first[j].P;
      const double d2 = SquaredDistance(p[0], p[1], p[2], x[0], x[1], x[2]);
      index[count] = j;
      distance2[count] = d2;
      count += d2 <= reach.Reach2 ? 1 : 0;
    }
    double weight[Block];
    for (int q = 0; q < count; ++q)
    {
      weight[q] = distance2[q] < reach.Limit2 ? KernelBelowRadius(distance2[q], reach.Radius) : 0.0;
    }
    for (int q = 0; q < count; ++q)
    {
      const PackedLandmark& l = first[index[q]];
      const double w = weight[q];
      d[0] += w * l.C[0];
      d[1] += w * l.C[1];
      d[2] += w * l.C[2];
      if (WithGradient && w > 0.0 && distance2[q] > 0.0)
      {
        // d phi / d x_b = 2 (1 - r/R) (p_b - x_b) / (R r)
        const double r = std::sqrt(distance2[q]);
        const double s = 2.0 * (1.0 - r / reach.Radius) / (reach.Radius * r);
        for (int a = 0; a < 3; ++a)
        {
          for (int b = 0; b < 3; ++b)
          {
            gradient[a][b] += l.C[a] * s * (l.P[b] - x[b]);
          }
        }
      }
    }
    within += count;
    first += m;
  }
  return within;
}

}

#endif
