#ifndef SmoothingReport_h
#define SmoothingReport_h

#include <algorithm>
#include <cmath>

/**
 * How far a smoothed spline passes from its landmarks. The solved system (Phi + S*I)*c + P*d
 * = f gives the spline's value at landmark k as f_k - S*c_k, so the distance between the
 * landmark's target and where the spline takes its source is S times the length of its three
 * kernel weights (cx, cy, cz: n weights each): exactly 0 for S = 0. Writes the largest and the
 * root-mean-square distance over the n landmarks.
 */
inline void LandmarkDistances(double smoothing, int n, const float* cx, const float* cy,
  const float* cz, double& maximum, double& rms)
{
  maximum = 0.0;
  double squares = 0.0;
  for (int k = 0; k < n; ++k)
  {
    const double x = cx[k];
    const double y = cy[k];
    const double z = cz[k];
    const double d2 = smoothing * smoothing * (x * x + y * y + z * z);
    maximum = std::max(maximum, std::sqrt(d2));
    squares += d2;
  }
  rms = n > 0 ? std::sqrt(squares / n) : 0.0;
}

#endif
