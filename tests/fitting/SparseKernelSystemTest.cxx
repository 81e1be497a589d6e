// The sparse kernel system on small hand-made cases: what its profile counts, and that its
// solve reports a matrix that is not positive definite and a residual it did not reach.

#include "SparseKernelSystem.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace
{
// Points on the x axis, in ordered positions.
struct Line
{
  std::vector<float> X;
  std::vector<float> Zeros;
  OrderedPoints Points;

  explicit Line(const std::vector<float>& x)
    : X(x)
    , Zeros(x.size(), 0.0f)
  {
    this->Points.X = this->X.data();
    this->Points.Y = this->Zeros.data();
    this->Points.Z = this->Zeros.data();
    this->Points.N = static_cast<int>(x.size());
  }
};

double Kernel(double d2, double radius)
{
  const double u = 1.0 - std::sqrt(d2) / radius;
  return u * u;
}

double Two(double, double)
{
  return 2.0;
}
}

TEST(SparseKernelSystem, ProfileCountsNeighboursEnvelopeAndCoincidentPoints)
{
  struct Case
  {
    std::vector<float> X;
    std::int64_t Envelope;
    std::int64_t OffDiagonal;
    bool Coincident;
  };
  // Radius 1.5: points one apart are neighbours. A row's envelope reaches back to its first
  // neighbour in the order given.
  const Case cases[] = {
    { { 0, 1, 2, 3 }, 3, 6, false },
    { { 0, 2, 3, 1 }, 0 + 1 + 3, 6, false }, // x = 3 back to x = 2, x = 1 back to x = 0
    { { 0, 10, 20 }, 0, 0, false },
    { { 0, 1, 1 }, 1 + 2, 6, true },
  };
  for (const Case& c : cases)
  {
    const Line line(c.X);
    const KernelProfile profile = MeasureKernelProfile(line.Points, 1.5, 1.5 * 1.5);
    EXPECT_EQ(profile.EnvelopeEntries, c.Envelope) << c.X.size() << " points";
    EXPECT_EQ(profile.OffDiagonal, c.OffDiagonal) << c.X.size() << " points";
    EXPECT_EQ(profile.Coincident, c.Coincident) << c.X.size() << " points";
  }
}

TEST(SparseKernelSystem, SolvesAndReportsWhatItCannotSolve)
{
  const Line line({ 0.0f, 0.5f, 1.0f, 1.7f, 2.1f, 3.0f });
  const double radius = 1.2;
  const KernelProfile profile = MeasureKernelProfile(line.Points, radius, radius * radius);

  SparseKernelSystem system;
  system.Assemble(line.Points, profile, radius, radius * radius, &Kernel);
  std::vector<float> f = { 1, -2, 3, 0.5f, -1, 2 };
  const std::vector<float> b = f;
  float* x = f.data();
  const float* rhs = b.data();
  SparseSolveResult solved = system.Solve(&rhs, &x, 1, 2);
  EXPECT_TRUE(solved.Converged);
  EXPECT_LE(solved.Residual, SparseKernelSystem::Tolerance);
  // Phi * x = b, checked here row by row from the kernel itself.
  for (int i = 0; i < 6; ++i)
  {
    double s = 0.0;
    for (int j = 0; j < 6; ++j)
    {
      const double d = line.X[i] - line.X[j];
      s += std::fabs(d) < radius ? static_cast<float>(Kernel(d * d, radius)) * f[j] : 0.0;
    }
    EXPECT_NEAR(s, b[i], 1e-5) << "row " << i;
  }

  // Two steps are not enough for six unknowns: not converged, and the residual says so.
  system.SetMaximumIterations(2);
  f = b;
  solved = system.Solve(&rhs, &x, 1, 1);
  EXPECT_FALSE(solved.Converged);
  EXPECT_GT(solved.Residual, SparseKernelSystem::Tolerance);
  EXPECT_EQ(solved.Iterations, 2);

  // [[1, 2], [2, 1]] is indefinite; along (1, -1) the curvature is negative.
  const Line pair({ 0.0f, 1.0f });
  SparseKernelSystem indefinite;
  indefinite.Assemble(pair.Points, MeasureKernelProfile(pair.Points, radius, radius * radius),
    radius, radius * radius, &Two);
  std::vector<float> g = { 1, -1 };
  const float* grhs = g.data();
  float* gx = g.data();
  EXPECT_TRUE(indefinite.Solve(&grhs, &gx, 1, 1).NotPositive);
}
