#include "LandmarkGenerator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace
{
void Displace(Landmark& l, double scale)
{
  const double* s = l.Source;
  l.Target[0] = s[0] + 0.1 * scale * std::sin(2.0 * s[1] / scale);
  l.Target[1] = s[1] + 0.07 * scale * std::cos(3.0 * s[2] / scale);
  l.Target[2] = s[2] - 0.05 * scale * std::sin(1.5 * s[0] / scale + 0.3);
}
}

std::vector<Landmark> SphereLandmarks(int n, double sphereRadius, const double centre[3])
{
  const double c[3] = { centre ? centre[0] : 0.0, centre ? centre[1] : 0.0,
    centre ? centre[2] : 0.0 };
  const double golden = M_PI * (3.0 - std::sqrt(5.0));
  std::vector<Landmark> landmarks(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i)
  {
    const double z = 1.0 - 2.0 * (i + 0.5) / n;
    const double r = std::sqrt(1.0 - z * z);
    const double phi = golden * i;
    Landmark& l = landmarks[i];
    l.Source[0] = c[0] + sphereRadius * r * std::cos(phi);
    l.Source[1] = c[1] + sphereRadius * r * std::sin(phi);
    l.Source[2] = c[2] + sphereRadius * z;
    Displace(l, sphereRadius);
  }
  return landmarks;
}

double SphereRadiusForNeighbours(int n, double neighbours, double sphereRadius)
{
  // A cap of chord radius r holds the area pi*r^2 of the sphere's 4*pi*R^2, shared by n points.
  return sphereRadius * std::sqrt(4.0 * (neighbours + 1.0) / n);
}

std::vector<Landmark> RandomSphereLandmarks(int n, unsigned seed, double sphereRadius)
{
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<Landmark> landmarks(static_cast<size_t>(n));
  for (Landmark& l : landmarks)
  {
    const double z = 2.0 * unit(random) - 1.0;
    const double phi = 2.0 * M_PI * unit(random);
    const double r = std::sqrt(std::max(0.0, 1.0 - z * z));
    l.Source[0] = sphereRadius * r * std::cos(phi);
    l.Source[1] = sphereRadius * r * std::sin(phi);
    l.Source[2] = sphereRadius * z;
    Displace(l, sphereRadius);
  }
  return landmarks;
}

std::vector<Landmark> ClosePairSphereLandmarks(int n, unsigned seed, double separation)
{
  std::vector<Landmark> landmarks = RandomSphereLandmarks(n / 2, seed);
  std::mt19937 random(seed + 1);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const size_t half = landmarks.size();
  for (size_t i = 0; i < half; ++i)
  {
    Landmark partner = landmarks[i];
    const double* p = landmarks[i].Source;
    // A tangent direction: the component of a random direction across the radius.
    double d[3];
    double along = 0.0;
    for (int k = 0; k < 3; ++k)
    {
      d[k] = 2.0 * unit(random) - 1.0;
      along += d[k] * p[k];
    }
    double length = 0.0;
    for (int k = 0; k < 3; ++k)
    {
      d[k] -= along * p[k];
      length += d[k] * d[k];
    }
    length = std::sqrt(length) > 0.0 ? std::sqrt(length) : 1.0;
    for (int k = 0; k < 3; ++k)
    {
      partner.Source[k] = p[k] + separation * d[k] / length;
    }
    Displace(partner, 1.0);
    landmarks.push_back(partner);
  }
  return landmarks;
}

std::vector<Landmark> GradedMeshLandmarks(int rows)
{
  // Spacings h_k = h_0 * g^k with g^(rows - 2) = 1000, scaled to span one unit.
  const double growth = std::pow(1000.0, 1.0 / std::max(1, rows - 2));
  std::vector<double> u(static_cast<size_t>(rows), 0.0);
  double h = 1.0;
  for (int k = 1; k < rows; ++k)
  {
    u[k] = u[k - 1] + h;
    h *= growth;
  }
  for (double& value : u)
  {
    value /= u.back();
  }
  std::vector<Landmark> landmarks;
  landmarks.reserve(static_cast<size_t>(rows) * rows);
  for (int i = 0; i < rows; ++i)
  {
    for (int j = 0; j < rows; ++j)
    {
      Landmark l;
      l.Source[0] = u[i];
      l.Source[1] = u[j];
      l.Source[2] = 0.2 * std::sin(3.0 * u[i]) * std::cos(2.0 * u[j]);
      Displace(l, 1.0);
      landmarks.push_back(l);
    }
  }
  return landmarks;
}

std::vector<Landmark> RandomLandmarks(int n, unsigned seed, double amplitude)
{
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<Landmark> landmarks(static_cast<size_t>(n));
  for (Landmark& l : landmarks)
  {
    for (int k = 0; k < 3; ++k)
    {
      l.Source[k] = unit(random);
    }
    for (int k = 0; k < 3; ++k)
    {
      l.Target[k] = l.Source[k] + amplitude * (2.0 * unit(random) - 1.0);
    }
  }
  return landmarks;
}

bool WriteLandmarkFile(const std::string& path, const std::vector<Landmark>& landmarks)
{
  FILE* file = std::fopen(path.c_str(), "w");
  if (!file)
  {
    return false;
  }
  for (const Landmark& l : landmarks)
  {
    std::fprintf(file, "%.9g %.9g %.9g %.9g %.9g %.9g\n", l.Source[0], l.Source[1], l.Source[2],
      l.Target[0], l.Target[1], l.Target[2]);
  }
  return std::fclose(file) == 0;
}
