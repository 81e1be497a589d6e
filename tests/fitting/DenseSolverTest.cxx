// The 4 x 4 dense solve, the vector kernels and the matrix tables.

#include "DenseSolver.h"
#include "FittingTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace
{
// Solves S*d = r with dense_solve and checks against a double-precision elimination.
void ExpectDenseSolveMatches(const double s[16], const double r[4], double tolerance)
{
  DenseSystem& dense = dense_system();
  for (int k = 0; k < 16; ++k)
  {
    dense.Matrix[k] = static_cast<float>(s[k]);
  }
  for (int k = 0; k < 4; ++k)
  {
    dense.Vector[k] = static_cast<float>(r[k]);
  }
  std::vector<double> a(16);
  std::vector<double> b(4);
  for (int k = 0; k < 16; ++k)
  {
    a[k] = dense.Matrix[k];
  }
  for (int k = 0; k < 4; ++k)
  {
    b[k] = dense.Vector[k];
  }
  ASSERT_TRUE(DenseSolveReference(4, a, b));
  dense_solve();
  double largest = 0.0;
  for (double v : b)
  {
    largest = std::max(largest, std::fabs(v));
  }
  for (int k = 0; k < 4; ++k)
  {
    EXPECT_NEAR(dense.Vector[k], b[k], tolerance * largest) << "component " << k;
  }
}
}

TEST(DenseSolve, SymmetricDefiniteAndNonSymmetricMatrices)
{
  std::mt19937 random(17);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  for (int trial = 0; trial < 60; ++trial)
  {
    double g[16];
    for (double& v : g)
    {
      v = value(random);
    }
    double s[16];
    const int kind = trial % 3;
    for (int i = 0; i < 4; ++i)
    {
      for (int j = 0; j < 4; ++j)
      {
        if (kind == 2)
        {
          s[i * 4 + j] = g[i * 4 + j] + (i == j ? 2.0 : 0.0); // non-symmetric
          continue;
        }
        double sum = i == j ? 0.5 : 0.0;
        for (int k = 0; k < 4; ++k)
        {
          sum += g[i * 4 + k] * g[j * 4 + k];
        }
        s[i * 4 + j] = kind == 0 ? sum : -sum; // positive or negative definite
      }
    }
    const double r[4] = { value(random), value(random), value(random), value(random) };
    SCOPED_TRACE(kind == 0 ? "positive definite" : kind == 1 ? "negative definite" : "general");
    ExpectDenseSolveMatches(s, r, 1e-4);
  }
}

TEST(DenseSolve, SolvesSNotItsTranspose)
{
  // An upper triangular S: S*d = r and S^T*d = r have different solutions.
  const double s[16] = { 2, 1, 0, 3, 0, 1, 4, 0, 0, 0, 5, 1, 0, 0, 0, 2 };
  // d = (1, 2, 3, 4) gives r = S*d.
  const double r[4] = { 2 + 2 + 0 + 12, 2 + 12, 15 + 4, 8 };
  ExpectDenseSolveMatches(s, r, 1e-6);
  const float* d = dense_system().Vector;
  EXPECT_NEAR(d[0], 1.0, 1e-5);
  EXPECT_NEAR(d[1], 2.0, 1e-5);
  EXPECT_NEAR(d[2], 3.0, 1e-5);
  EXPECT_NEAR(d[3], 4.0, 1e-5);
}

TEST(DenseSolve, ZeroColumnEndsReductionAndYieldsNonFinite)
{
  DenseSystem& dense = dense_system();
  const float s[16] = { 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0 }; // rank 1
  std::copy(s, s + 16, dense.Matrix);
  const float r[4] = { 1, 1, 1, 1 };
  std::copy(r, r + 4, dense.Vector);
  dense_solve();
  bool finite = true;
  for (float v : dense.Vector)
  {
    finite = finite && std::isfinite(v);
  }
  EXPECT_FALSE(finite) << "a singular system is not detected here";
}

TEST(VectorKernels, ValuesAndEmptyCounts)
{
  const float x[] = { 3.0f, 4.0f, 12.0f };
  float y[] = { 1.0f, 1.0f, 1.0f };
  EXPECT_DOUBLE_EQ(vector_norm(x, 3), 13.0);
  EXPECT_DOUBLE_EQ(vector_dot(x, y, 3), 19.0);
  EXPECT_EQ(vector_norm(x, 0), 0.0);
  EXPECT_EQ(vector_norm(x, -2), 0.0);
  EXPECT_EQ(vector_dot(x, y, -1), 0.0);
  vector_axpy(2.0, x, y, 3);
  EXPECT_EQ(y[0], 7.0f);
  EXPECT_EQ(y[2], 25.0f);
  vector_scale(0.5, y, 2);
  EXPECT_EQ(y[0], 3.5f);
  EXPECT_EQ(y[1], 4.5f);
  EXPECT_EQ(y[2], 25.0f);
  vector_scale(0.0, y, 0);
  vector_axpy(1.0, x, y, -3);
  EXPECT_EQ(y[0], 3.5f);
}

TEST(MatrixTable, InclusiveBoundsAndOffsets)
{
  float** m = allocate_matrix(0, 4, 0, 4);
  for (int r = 0; r <= 4; ++r)
  {
    for (int c = 0; c <= 4; ++c)
    {
      m[r][c] = static_cast<float>(10 * r + c);
    }
  }
  for (int r = 0; r <= 4; ++r)
  {
    for (int c = 0; c <= 4; ++c)
    {
      EXPECT_EQ(m[r][c], static_cast<float>(10 * r + c));
    }
  }
  free_matrix(m, 0, 4, 0);

  float** shifted = allocate_matrix(2, 5, 3, 6);
  for (int r = 2; r <= 5; ++r)
  {
    for (int c = 3; c <= 6; ++c)
    {
      shifted[r][c] = static_cast<float>(r * c);
    }
  }
  EXPECT_EQ(shifted[5][6], 30.0f);
  EXPECT_EQ(shifted[2][3], 6.0f);
  free_matrix(shifted, 2, 5, 3);

  float** none = allocate_matrix(3, 2, 0, 3);
  EXPECT_NE(none, nullptr);
  free_matrix(none, 3, 2, 0);
}
