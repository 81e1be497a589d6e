// The envelope Cholesky routines against a dense double-precision factorisation of the same
// matrix: random SPD matrices with random envelopes, and real kernel matrices.

#include "EnvelopeSolver.h"
#include "FittingTestSupport.h"
#include "LandmarkGenerator.h"

#include <gtest/gtest.h>

#include <vtkIdList.h>
#include <vtkNew.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include "vtkDatReader.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace
{
// A symmetric matrix in both dense (double) and envelope (float) form.
struct EnvelopeMatrix
{
  int N = 0;
  std::vector<double> Dense; // row by row
  std::vector<float> Diag;
  std::vector<int> Xenv;
  std::vector<float> Env;

  // Stores the lower envelope of Dense: row i from its first nonzero column on.
  void BuildEnvelope()
  {
    Diag.assign(N, 0.0f);
    Xenv.assign(N + 1, 1);
    Env.clear();
    for (int i = 0; i < N; ++i)
    {
      Diag[i] = static_cast<float>(Dense[i * N + i]);
      int first = 0;
      while (first < i && Dense[i * N + first] == 0.0)
      {
        ++first;
      }
      for (int j = first; j < i; ++j)
      {
        Env.push_back(static_cast<float>(Dense[i * N + j]));
      }
      Xenv[i + 1] = static_cast<int>(Env.size()) + 1;
    }
    Env.push_back(0.0f); // keeps data() valid when nothing is stored
  }

  // The float matrix the envelope holds, widened: the reference factors exactly that.
  std::vector<double> StoredDense() const
  {
    std::vector<double> a(static_cast<size_t>(N) * N, 0.0);
    for (int i = 0; i < N; ++i)
    {
      a[i * N + i] = Diag[i];
      const int w = Xenv[i + 1] - Xenv[i];
      for (int k = 0; k < w; ++k)
      {
        const int j = i - w + k;
        a[i * N + j] = a[j * N + i] = Env[Xenv[i] - 1 + k];
      }
    }
    return a;
  }
};

// A = B*B^T + I with B lower triangular and row i of B starting at a random column: A's
// envelope is B's.
EnvelopeMatrix RandomSpd(int n, std::mt19937& random)
{
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  std::vector<double> b(static_cast<size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i)
  {
    const int width = std::uniform_int_distribution<int>(0, std::min(i, 6))(random);
    for (int j = i - width; j <= i; ++j)
    {
      b[i * n + j] = value(random);
    }
  }
  EnvelopeMatrix m;
  m.N = n;
  m.Dense.assign(static_cast<size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i)
  {
    for (int j = 0; j < n; ++j)
    {
      double s = i == j ? 1.0 : 0.0;
      for (int k = 0; k <= std::min(i, j); ++k)
      {
        s += b[i * n + k] * b[j * n + k];
      }
      m.Dense[i * n + j] = s;
    }
  }
  m.BuildEnvelope();
  return m;
}

// Dense Cholesky in double precision; returns L row by row.
std::vector<double> DenseCholesky(int n, const std::vector<double>& a)
{
  std::vector<double> l(static_cast<size_t>(n) * n, 0.0);
  for (int j = 0; j < n; ++j)
  {
    double d = a[j * n + j];
    for (int k = 0; k < j; ++k)
    {
      d -= l[j * n + k] * l[j * n + k];
    }
    l[j * n + j] = std::sqrt(d);
    for (int i = j + 1; i < n; ++i)
    {
      double s = a[i * n + j];
      for (int k = 0; k < j; ++k)
      {
        s -= l[i * n + k] * l[j * n + k];
      }
      l[i * n + j] = s / l[j * n + j];
    }
  }
  return l;
}

void ExpectFactorMatches(
  const EnvelopeMatrix& original, const EnvelopeMatrix& factored, double tolerance)
{
  const int n = original.N;
  const std::vector<double> l = DenseCholesky(n, original.StoredDense());
  for (int i = 0; i < n; ++i)
  {
    ASSERT_NEAR(factored.Diag[i], l[i * n + i], tolerance * std::fabs(l[i * n + i]))
      << "diagonal " << i;
    const int w = factored.Xenv[i + 1] - factored.Xenv[i];
    for (int k = 0; k < w; ++k)
    {
      const int j = i - w + k;
      ASSERT_NEAR(factored.Env[factored.Xenv[i] - 1 + k], l[i * n + j], tolerance)
        << "entry (" << i << ", " << j << ")";
    }
  }
}

// Factors and solves through the module-level system and compares with a dense solve.
void ExpectSolveMatches(EnvelopeMatrix m, std::mt19937& random, double tolerance)
{
  const int n = m.N;
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  std::vector<float> rhs(n);
  std::vector<double> reference(n);
  for (int i = 0; i < n; ++i)
  {
    rhs[i] = static_cast<float>(value(random));
    reference[i] = rhs[i];
  }
  ASSERT_TRUE(DenseSolveReference(n, m.StoredDense(), reference));

  EnvelopeSystem& sys = envelope_system();
  sys.N = n;
  sys.Diag = m.Diag.data();
  sys.Xenv = m.Xenv.data();
  sys.Env = m.Env.data();
  sys.Iflag = 0;
  ASSERT_EQ(envelope_solve(1, nullptr), 0);
  ASSERT_EQ(envelope_solve(2, rhs.data()), 0);
  double largest = 0.0;
  for (double r : reference)
  {
    largest = std::max(largest, std::fabs(r));
  }
  for (int i = 0; i < n; ++i)
  {
    ASSERT_NEAR(rhs[i], reference[i], tolerance * largest) << "component " << i << " of " << n;
  }
}
}

TEST(EnvelopeFactor, RandomSpdMatchesDenseCholesky)
{
  std::mt19937 random(7);
  for (int trial = 0; trial < 40; ++trial)
  {
    const int n = std::uniform_int_distribution<int>(1, 60)(random);
    EnvelopeMatrix m = RandomSpd(n, random);
    EnvelopeMatrix f = m;
    int iflag = 0;
    envelope_factor(n, f.Xenv.data(), f.Env.data(), f.Diag.data(), &iflag);
    ASSERT_EQ(iflag, 0) << "n = " << n;
    ExpectFactorMatches(m, f, 1e-5);
  }
}

TEST(EnvelopeSolve, RandomSpdMatchesDenseSolve)
{
  std::mt19937 random(11);
  for (int trial = 0; trial < 40; ++trial)
  {
    const int n = std::uniform_int_distribution<int>(1, 80)(random);
    ExpectSolveMatches(RandomSpd(n, random), random, 1e-4);
  }
}

TEST(EnvelopeSolve, KernelMatrixOfSphereLandmarksMatchesDenseSolve)
{
  // The spline's own matrix: landmarks ordered by neighbourhood, kernel (1 - r/R)^2.
  const int n = 600;
  const auto landmarks = SphereLandmarks(n);
  const double radius = SphereRadiusForNeighbours(n, 30);
  vtkNew<vtkPoints> points;
  for (const Landmark& l : landmarks)
  {
    points->InsertNextPoint(l.Source);
  }
  vtkNew<vtkPolyData> poly;
  poly->SetPoints(points);
  vtkNew<vtkPointLocator> locator;
  locator->SetDataSet(poly);
  locator->BuildLocator();
  int max = 0;
  int* list = GetWellOderredList(max, n, static_cast<float>(radius), points, locator);

  EnvelopeMatrix m;
  m.N = n;
  m.Dense.assign(static_cast<size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i)
  {
    double p[3];
    points->GetPoint(list[i], p);
    for (int j = 0; j < n; ++j)
    {
      double q[3];
      points->GetPoint(list[j], q);
      m.Dense[i * n + j] = static_cast<float>(ReferenceKernel(p, q, static_cast<float>(radius)));
    }
  }
  delete[] list;
  m.BuildEnvelope();
  // The ordering keeps the envelope narrow: far less than the full triangle.
  EXPECT_LT(m.Env.size(), static_cast<size_t>(n) * n / 4);

  EnvelopeMatrix f = m;
  int iflag = 0;
  envelope_factor(n, f.Xenv.data(), f.Env.data(), f.Diag.data(), &iflag);
  ASSERT_EQ(iflag, 0);
  ExpectFactorMatches(m, f, 1e-3);
  std::mt19937 random(3);
  ExpectSolveMatches(m, random, 1e-3);
}

TEST(EnvelopeSolve, HandWorkedTwoByTwo)
{
  // A = [4 2; 2 5] = L L^T with L = [2 0; 1 2]; A x = (6, 7) gives x = (1, 1).
  float diag[] = { 4.0f, 5.0f };
  int xenv[] = { 1, 1, 2 };
  float env[] = { 2.0f };
  int iflag = 0;
  envelope_factor(2, xenv, env, diag, &iflag);
  EXPECT_EQ(iflag, 0);
  EXPECT_EQ(diag[0], 2.0f);
  EXPECT_EQ(env[0], 1.0f);
  EXPECT_EQ(diag[1], 2.0f);
  float rhs[] = { 6.0f, 7.0f };
  envelope_lower_solve(2, xenv, env, diag, rhs);
  EXPECT_EQ(rhs[0], 3.0f);
  EXPECT_EQ(rhs[1], 2.0f);
  envelope_upper_solve(2, xenv, env, diag, rhs);
  EXPECT_EQ(rhs[0], 1.0f);
  EXPECT_EQ(rhs[1], 1.0f);
}

TEST(EnvelopeSolve, OrderOneDividesTwiceBySquareRoot)
{
  float diag[] = { 9.0f };
  int xenv[] = { 1, 1 };
  float env[] = { 0.0f };
  int iflag = 0;
  envelope_factor(1, xenv, env, diag, &iflag);
  EXPECT_EQ(diag[0], 3.0f);
  float rhs[] = { 18.0f };
  envelope_lower_solve(1, xenv, env, diag, rhs);
  envelope_upper_solve(1, xenv, env, diag, rhs);
  EXPECT_EQ(rhs[0], 2.0f);
}

TEST(EnvelopeSolve, EmptyEnvelopesAndZeroRightHandSide)
{
  float diag[] = { 4.0f, 16.0f, 0.25f };
  int xenv[] = { 1, 1, 1, 1 };
  float env[] = { 0.0f };
  int iflag = 0;
  envelope_factor(3, xenv, env, diag, &iflag);
  EXPECT_EQ(iflag, 0);
  EXPECT_EQ(diag[0], 2.0f);
  EXPECT_EQ(diag[1], 4.0f);
  EXPECT_EQ(diag[2], 0.5f);
  float rhs[] = { 8.0f, 32.0f, 1.0f };
  envelope_lower_solve(3, xenv, env, diag, rhs);
  envelope_upper_solve(3, xenv, env, diag, rhs);
  EXPECT_EQ(rhs[0], 2.0f);
  EXPECT_EQ(rhs[1], 2.0f);
  EXPECT_EQ(rhs[2], 4.0f);

  std::mt19937 random(5);
  EnvelopeMatrix m = RandomSpd(20, random);
  int flag = 0;
  envelope_factor(20, m.Xenv.data(), m.Env.data(), m.Diag.data(), &flag);
  std::vector<float> zero(20, 0.0f);
  envelope_lower_solve(20, m.Xenv.data(), m.Env.data(), m.Diag.data(), zero.data());
  envelope_upper_solve(20, m.Xenv.data(), m.Env.data(), m.Diag.data(), zero.data());
  for (float z : zero)
  {
    EXPECT_EQ(z, 0.0f);
  }
}

TEST(EnvelopeFactor, NonPositiveFirstPivotChangesNothingElse)
{
  for (float first : { 0.0f, -2.0f, std::nanf("") })
  {
    float diag[] = { first, 4.0f, 9.0f };
    int xenv[] = { 1, 1, 2, 3 };
    float env[] = { 0.5f, 0.25f };
    int iflag = 0;
    envelope_factor(3, xenv, env, diag, &iflag);
    EXPECT_EQ(iflag, 1) << "Diag[0] = " << first;
    EXPECT_EQ(diag[1], 4.0f);
    EXPECT_EQ(diag[2], 9.0f);
    EXPECT_EQ(env[0], 0.5f);
    EXPECT_EQ(env[1], 0.25f);
  }
}

TEST(EnvelopeFactor, NonPositiveLaterPivotKeepsInputAndFactorsOn)
{
  // Rows 0 and 1 are identical (pivot 1 - 1 = 0); row 2 is independent of both.
  float diag[] = { 1.0f, 1.0f, 4.0f };
  int xenv[] = { 1, 1, 2, 2 };
  float env[] = { 1.0f };
  int iflag = 0;
  envelope_factor(3, xenv, env, diag, &iflag);
  EXPECT_EQ(iflag, 1);
  EXPECT_EQ(diag[1], 1.0f) << "the failing row keeps its input value";
  EXPECT_EQ(diag[2], 2.0f) << "later rows are still factored";
}

TEST(EnvelopeSolve, ModesReportFailureAndSolveAsAsked)
{
  float diag[] = { 1.0f, 1.0f };
  int xenv[] = { 1, 1, 2 };
  float env[] = { 2.0f }; // [1 2; 2 1] is indefinite
  EnvelopeSystem& sys = envelope_system();
  sys.N = 2;
  sys.Diag = diag;
  sys.Xenv = xenv;
  sys.Env = env;
  sys.Iflag = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(envelope_solve(1, nullptr), 1);
  // Reported by Iflag alone: the caller decides what the user reads.
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  float d2[] = { 4.0f, 4.0f };
  float e2[] = { 0.0f };
  sys.Diag = d2;
  sys.Env = e2;
  sys.Iflag = 0;
  float rhs[] = { 8.0f, 4.0f };
  testing::internal::CaptureStdout();
  EXPECT_EQ(envelope_solve(0, rhs), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(rhs[0], 2.0f);
  EXPECT_EQ(rhs[1], 1.0f);
  EXPECT_EQ(envelope_solve(7, rhs), 0);
  EXPECT_EQ(rhs[0], 2.0f) << "an unknown mode does nothing";
}
