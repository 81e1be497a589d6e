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

/**
 * n landmarks at independent uniformly random positions on the sphere (closest pairs far
 * closer than the average spacing); targets moved as SphereLandmarks moves them.
 */
std::vector<Landmark> RandomSphereLandmarks(int n, unsigned seed, double sphereRadius = 1.0);

/**
 * n landmarks (n even) in pairs: n / 2 random sphere positions, each with a partner
 * `separation` away in a random tangent direction; targets as SphereLandmarks moves them.
 */
std::vector<Landmark> ClosePairSphereLandmarks(int n, unsigned seed, double separation);

/**
 * The vertices of a generated surface mesh whose edge lengths range a thousand-fold: a
 * rows x rows grid on a wavy sheet about one unit across, with spacings growing geometrically
 * from 1e-3 to 1 times the largest one in both directions; targets moved smoothly.
 */
std::vector<Landmark> GradedMeshLandmarks(int rows);

/** n landmarks at random in the unit cube, targets moved by up to `amplitude` per axis. */
std::vector<Landmark> RandomLandmarks(int n, unsigned seed, double amplitude = 0.05);

/** Writes a landmark file, one line of six numbers with full float precision per landmark. */
bool WriteLandmarkFile(const std::string& path, const std::vector<Landmark>& landmarks);

#endif
