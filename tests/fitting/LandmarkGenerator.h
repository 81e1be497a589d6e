#ifndef LandmarkGenerator_h
#define LandmarkGenerator_h

// Landmark sets for tests and benchmarks of the fitting tool.

#include <string>
#include <vector>

struct Landmark
{
  double Source[3];
  double Target[3];
};

/**
 * n landmarks spread evenly over a sphere (a Fibonacci lattice) of the given radius and
 * centre; each target is its source moved by a smooth displacement of about a tenth of the
 * sphere radius.
 */
std::vector<Landmark> SphereLandmarks(
  int n, double sphereRadius = 1.0, const double centre[3] = nullptr);

/** The support radius that gives each sphere landmark about `neighbours` others within it. */
double SphereRadiusForNeighbours(int n, double neighbours, double sphereRadius = 1.0);

/** n landmarks at random in the unit cube, targets moved by up to `amplitude` per axis. */
std::vector<Landmark> RandomLandmarks(int n, unsigned seed, double amplitude = 0.05);

/** Writes a landmark file, one line of six numbers with full float precision per landmark. */
bool WriteLandmarkFile(const std::string& path, const std::vector<Landmark>& landmarks);

#endif
