// The fast envelope loops against plain references written out here: a scalar one that adds
// the terms of every inner product in the documented order (the term of column c into
// partial sum c mod 8, the sums combined as ((0+4)+(2+6))+((1+5)+(3+7))), which the loops must
// match to the last bit whichever instruction set runs them; and the textbook substitution with
// one running sum, which they must match within a stated tolerance.

#include "EnvelopeKernels.h"
#include "EnvelopeSolver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

namespace
{
using DotFunction = std::function<double(const float* a, const float* b, int lo, int hi)>;

double OrderedDot(const float* a, const float* b, int lo, int hi)
{
  double lanes[8] = { 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0 };
  for (int c = lo; c < hi; ++c)
  {
    lanes[c % 8] += static_cast<double>(a[c - lo]) * b[c - lo];
  }
  return ((lanes[0] + lanes[4]) + (lanes[2] + lanes[6])) +
    ((lanes[1] + lanes[5]) + (lanes[3] + lanes[7]));
}

double RunningDot(const float* a, const float* b, int lo, int hi)
{
  double s = 0.0;
  for (int c = lo; c < hi; ++c)
  {
    s += static_cast<double>(a[c - lo]) * b[c - lo];
  }
  return s;
}

// Forward substitution over a block of rows whose first column is `offset` in the numbering
// of the partial sums.
void ReferenceLowerSolve(int n, const int* xenv, const float* env, const float* diag, float* rhs,
  int offset, const DotFunction& dot)
{
  if (n <= 0)
  {
    return;
  }
  int first = 0;
  while (first < n - 1 && rhs[first] == 0.0f)
  {
    ++first;
  }
  int last = 0;
  for (int i = first; i < n; ++i)
  {
    int w = xenv[i + 1] - xenv[i];
    if (w >= i + 1)
    {
      w = i;
    }
    double s = rhs[i];
    rhs[i] = 0.0f;
    const int l = i - w;
    if (w > 0 && last >= l)
    {
      s -= dot(env + (xenv[i + 1] - 1 - w), rhs + l, offset + l, offset + i);
    }
    if (s != 0.0)
    {
      rhs[i] = static_cast<float>(s / diag[i]);
      last = i;
    }
  }
}

void ReferenceFactor(
  int n, const int* xenv, float* env, float* diag, int* iflag, const DotFunction& dot)
{
  if (n <= 0)
  {
    return;
  }
  if (!(diag[0] > 0.0f))
  {
    *iflag = 1;
    return;
  }
  diag[0] = static_cast<float>(std::sqrt(static_cast<double>(diag[0])));
  for (int i = 1; i < n; ++i)
  {
    const int w = xenv[i + 1] - xenv[i];
    double t = diag[i];
    if (w > 0)
    {
      float* row = env + (xenv[i] - 1);
      ReferenceLowerSolve(w, xenv + (i - w), env, diag + (i - w), row, i - w, dot);
      t -= dot(row, row, i - w, i);
    }
    if (t > 0.0)
    {
      diag[i] = static_cast<float>(std::sqrt(t));
    }
    else
    {
      *iflag = 1;
    }
  }
}

void ReferenceUpperSolve(int n, const int* xenv, const float* env, const float* diag, float* rhs)
{
  for (int i = n - 1; i >= 0; --i)
  {
    if (rhs[i] == 0.0f)
    {
      continue;
    }
    const float s = static_cast<float>(static_cast<double>(rhs[i]) / diag[i]);
    rhs[i] = s;
    const int w = xenv[i + 1] - xenv[i];
    for (int k = 0; k < w; ++k)
    {
      float& r = rhs[i - w + k];
      r = static_cast<float>(r - static_cast<double>(s) * env[xenv[i + 1] - 1 - w + k]);
    }
  }
}

struct Envelope
{
  int N = 0;
  std::vector<float> Diag;
  std::vector<int> Xenv;
  std::vector<float> Env;
};

// A symmetric positive-definite matrix with an irregular envelope: A = B*B^T + I with row i
// of B starting at a random column, stored from a random number of extra (zero) columns before
// its first nonzero entry, and with an exact zero here and there inside the envelope. Widths
// vary from 0 to `maxWidth`, so the rows of a block start at different columns. With a spread,
// the entries of B are scaled by powers of two from 2^-spread to 2^spread: the inner products
// then cancel heavily, and a change in the order of their sums shows in the float results.
Envelope RandomEnvelope(int n, int maxWidth, std::mt19937& random, int spread = 0)
{
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-spread, spread);
  auto value = [&](std::mt19937& r) { return std::ldexp(uniform(r), exponent(r)); };
  std::uniform_int_distribution<int> width(0, maxWidth);
  std::vector<int> start(n);
  std::vector<double> b(static_cast<size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i)
  {
    start[i] = std::max(0, i - width(random));
    for (int k = start[i]; k <= i; ++k)
    {
      b[static_cast<size_t>(i) * n + k] = value(random) * (k == i ? 2.0 : 0.3);
    }
  }
  std::vector<double> a(static_cast<size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i)
  {
    for (int j = 0; j <= i; ++j)
    {
      double s = 0.0;
      for (int k = std::max(start[i], start[j]); k <= j; ++k)
      {
        s += b[static_cast<size_t>(i) * n + k] * b[static_cast<size_t>(j) * n + k];
      }
      a[static_cast<size_t>(i) * n + j] = s + (i == j ? 1.0 : 0.0);
    }
  }
  Envelope e;
  e.N = n;
  e.Diag.resize(n);
  e.Xenv.assign(n + 1, 1);
  std::uniform_int_distribution<int> padding(0, 6);
  std::uniform_int_distribution<int> percent(0, 99);
  for (int i = 0; i < n; ++i)
  {
    e.Diag[i] = static_cast<float>(a[static_cast<size_t>(i) * n + i]);
    int first = 0;
    while (first < i && a[static_cast<size_t>(i) * n + first] == 0.0)
    {
      ++first;
    }
    first = std::max(0, first - padding(random));
    for (int j = first; j < i; ++j)
    {
      const bool hole = percent(random) < 3;
      e.Env.push_back(hole ? 0.0f : static_cast<float>(a[static_cast<size_t>(i) * n + j]));
    }
    e.Xenv[i + 1] = static_cast<int>(e.Env.size()) + 1;
  }
  e.Env.push_back(0.0f);
  return e;
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b)
{
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// The textbook factor and both substitutions, summing inner products with the given dot.
void ReferenceFactorAndSolve(
  Envelope& e, std::vector<float>& rhs, int& iflag, const DotFunction& dot)
{
  ReferenceFactor(e.N, e.Xenv.data(), e.Env.data(), e.Diag.data(), &iflag, dot);
  ReferenceLowerSolve(e.N, e.Xenv.data(), e.Env.data(), e.Diag.data(), rhs.data(), 0, dot);
  ReferenceUpperSolve(e.N, e.Xenv.data(), e.Env.data(), e.Diag.data(), rhs.data());
}

// Runs the library's factor and both solves with the chosen loops.
void LibraryFactorAndSolve(Envelope& e, std::vector<float>& rhs, int& iflag)
{
  envelope_factor(e.N, e.Xenv.data(), e.Env.data(), e.Diag.data(), &iflag);
  envelope_lower_solve(e.N, e.Xenv.data(), e.Env.data(), e.Diag.data(), rhs.data());
  envelope_upper_solve(e.N, e.Xenv.data(), e.Env.data(), e.Diag.data(), rhs.data());
}

std::vector<float> RandomVector(int n, std::mt19937& random)
{
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  std::vector<float> v(n);
  for (float& x : v)
  {
    x = value(random);
  }
  return v;
}

class KernelChoice
{
public:
  ~KernelChoice()
  {
    envelope_select_kernels(true);
    envelope_set_thread_count(0);
  }
};
}

// On any number of threads: blocks of rows factored side by side, each waiting for the rows
// it reads, give the factor of one thread bit for bit.
TEST(EnvelopeKernels, FactorAndSolvesFollowTheDocumentedSumOrderExactly)
{
  KernelChoice restore;
  std::mt19937 random(20261207);
  // Sizes around the block of four rows, widths from narrow (heads and tails only) to wide
  // (long shared runs).
  const int sizes[][2] = { { 1, 0 }, { 2, 1 }, { 7, 6 }, { 61, 9 }, { 203, 40 }, { 1100, 70 },
    { 1500, 300 } };
  for (const bool wide : { false, true })
  {
    if (!envelope_select_kernels(wide))
    {
      continue; // the processor lacks AVX2: the baseline loops were checked already
    }
    for (const auto& size : sizes)
    {
      for (const int spread : { 0, 12 })
      {
        const int threads = 1 + (size[0] + spread) % 3; // 1, 2 and 3 threads in turn
        envelope_set_thread_count(threads);
        const Envelope input = RandomEnvelope(size[0], size[1], random, spread);
        const std::vector<float> b = RandomVector(size[0], random);

        Envelope expected = input;
        std::vector<float> x = b;
        int expectedFlag = 0;
        ReferenceFactorAndSolve(expected, x, expectedFlag, OrderedDot);

        Envelope got = input;
        std::vector<float> y = b;
        int gotFlag = 0;
        LibraryFactorAndSolve(got, y, gotFlag);

        EXPECT_EQ(gotFlag, expectedFlag);
        EXPECT_TRUE(SameBits(got.Diag, expected.Diag))
          << "n " << size[0] << " wide " << wide << " threads " << threads;
        EXPECT_TRUE(SameBits(got.Env, expected.Env))
          << "n " << size[0] << " wide " << wide << " threads " << threads;
        EXPECT_TRUE(SameBits(y, x))
          << "n " << size[0] << " wide " << wide << " threads " << threads;
      }
    }
  }
}

// Solves run several right-hand sides side by side; each must come out exactly as alone,
// whatever its own leading zeros and zero runs (which decide the work each one skips).
TEST(EnvelopeKernels, RightHandSidesSolvedTogetherGiveTheirOwnResultsExactly)
{
  KernelChoice restore;
  std::mt19937 random(31);
  for (const bool wide : { false, true })
  {
    if (!envelope_select_kernels(wide))
    {
      continue;
    }
    for (const int n : { 1, 9, 300 })
    {
      Envelope e = RandomEnvelope(n, n < 40 ? n - 1 : 40, random);
      int iflag = 0;
      envelope_factor(e.N, e.Xenv.data(), e.Env.data(), e.Diag.data(), &iflag);
      ASSERT_EQ(iflag, 0);
      EnvelopeSystem& sys = envelope_system();
      sys.N = e.N;
      sys.Xenv = e.Xenv.data();
      sys.Env = e.Env.data();
      sys.Diag = e.Diag.data();
      // Seven (more than one call shares): dense, all zero, zero but the last entry, zero up
      // to the middle, and zero runs.
      std::vector<std::vector<float>> rhs(7);
      for (size_t k = 0; k < rhs.size(); ++k)
      {
        rhs[k] = RandomVector(n, random);
        const size_t zeros[] = { 0, static_cast<size_t>(n), static_cast<size_t>(n - 1),
          static_cast<size_t>(n / 2), 0, 0, 0 };
        std::fill_n(rhs[k].begin(), zeros[k], 0.0f);
        for (int i = 0; k >= 4 && i < n; ++i)
        {
          rhs[k][i] = (i / static_cast<int>(k)) % 2 ? 0.0f : rhs[k][i];
        }
      }
      std::vector<std::vector<float>> together = rhs;
      std::vector<float*> pointers;
      for (auto& v : together)
      {
        pointers.push_back(v.data());
      }
      envelope_solve_many(pointers.data(), static_cast<int>(pointers.size()));
      for (size_t k = 0; k < rhs.size(); ++k)
      {
        envelope_solve(2, rhs[k].data());
        EXPECT_TRUE(SameBits(together[k], rhs[k])) << "n " << n << " rhs " << k << " wide " << wide;
      }
    }
  }
}

TEST(EnvelopeKernels, FailedPivotsInsideABlockKeepTheirRowsAndTheRestIsFactored)
{
  KernelChoice restore;
  std::mt19937 random(7);
  for (const bool wide : { false, true })
  {
    if (!envelope_select_kernels(wide))
    {
      continue;
    }
    envelope_set_thread_count(wide ? 2 : 1); // a failure in any thread is reported
    Envelope input = RandomEnvelope(41, 12, random);
    input.Diag[9] = -1.0f; // second row of a block of four
    input.Diag[22] = 0.0f; // third row of another
    Envelope expected = input;
    int expectedFlag = 0;
    ReferenceFactor(expected.N, expected.Xenv.data(), expected.Env.data(), expected.Diag.data(),
      &expectedFlag, OrderedDot);
    Envelope got = input;
    int gotFlag = 0;
    envelope_factor(got.N, got.Xenv.data(), got.Env.data(), got.Diag.data(), &gotFlag);
    EXPECT_EQ(gotFlag, 1);
    EXPECT_EQ(expectedFlag, 1);
    EXPECT_EQ(got.Diag[9], -1.0f);
    EXPECT_EQ(got.Diag[22], 0.0f);
    EXPECT_TRUE(SameBits(got.Diag, expected.Diag));
    EXPECT_TRUE(SameBits(got.Env, expected.Env));
  }
}

// Against one running sum the partial sums change only the rounding of each inner product
// (the double sums differ by a few units in the 16th digit); after rounding to float the
// factor differs from the textbook one by at most 2e-6 times the row's largest entry, and the
// solution of a well-conditioned system by at most 1e-5 relative to its largest component.
TEST(EnvelopeKernels, WithinToleranceOfTheRunningSumSubstitution)
{
  KernelChoice restore;
  std::mt19937 random(99);
  for (const bool wide : { false, true })
  {
    if (!envelope_select_kernels(wide))
    {
      continue;
    }
    for (const int n : { 300, 1200 })
    {
      const Envelope input = RandomEnvelope(n, 120, random);
      const std::vector<float> b = RandomVector(n, random);
      Envelope expected = input;
      std::vector<float> x = b;
      int expectedFlag = 0;
      ReferenceFactorAndSolve(expected, x, expectedFlag, RunningDot);
      Envelope got = input;
      std::vector<float> y = b;
      int gotFlag = 0;
      LibraryFactorAndSolve(got, y, gotFlag);
      ASSERT_EQ(gotFlag, 0);
      ASSERT_EQ(expectedFlag, 0);

      double worstFactor = 0.0;
      for (int i = 0; i < n; ++i)
      {
        double largest = std::fabs(expected.Diag[i]);
        for (int k = expected.Xenv[i] - 1; k < expected.Xenv[i + 1] - 1; ++k)
        {
          largest = std::max(largest, static_cast<double>(std::fabs(expected.Env[k])));
        }
        worstFactor = std::max(worstFactor, std::fabs(got.Diag[i] - expected.Diag[i]) / largest);
        for (int k = expected.Xenv[i] - 1; k < expected.Xenv[i + 1] - 1; ++k)
        {
          worstFactor = std::max(worstFactor, std::fabs(got.Env[k] - expected.Env[k]) / largest);
        }
      }
      EXPECT_LE(worstFactor, 2e-6) << "n " << n;
      double largest = 0.0;
      double worstSolution = 0.0;
      for (int i = 0; i < n; ++i)
      {
        largest = std::max(largest, static_cast<double>(std::fabs(x[i])));
        worstSolution = std::max(worstSolution, static_cast<double>(std::fabs(y[i] - x[i])));
      }
      EXPECT_LE(worstSolution, 1e-5 * largest) << "n " << n;
    }
  }
}

// The backward solve updates entries one at a time, with no sum to reorder: it matches the
// textbook loop exactly, also through the blocked-row forward solve that precedes it.
TEST(EnvelopeKernels, BackwardSolveMatchesTheTextbookLoopExactly)
{
  KernelChoice restore;
  std::mt19937 random(3);
  for (const bool wide : { false, true })
  {
    if (!envelope_select_kernels(wide))
    {
      continue;
    }
    Envelope e = RandomEnvelope(333, 50, random);
    int flag = 0;
    envelope_factor(e.N, e.Xenv.data(), e.Env.data(), e.Diag.data(), &flag);
    std::vector<float> b = RandomVector(e.N, random);
    b[100] = 0.0f; // a zero component is passed over
    std::vector<float> expected = b;
    ReferenceUpperSolve(e.N, e.Xenv.data(), e.Env.data(), e.Diag.data(), expected.data());
    envelope_upper_solve(e.N, e.Xenv.data(), e.Env.data(), e.Diag.data(), b.data());
    EXPECT_TRUE(SameBits(b, expected));
  }
}

// Terms of both signs and of magnitudes from 2^-30 to 2^30 cancel so that the double result
// depends on the grouping of the additions: the loops must add exactly as documented, whatever
// the range's first column and length.
TEST(EnvelopeKernels, InnerProductsAddInTheDocumentedOrder)
{
  std::mt19937 random(17);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-15, 15);
  std::vector<float> a(300);
  std::vector<float> b(300);
  for (size_t k = 0; k < a.size(); ++k)
  {
    a[k] = static_cast<float>(std::ldexp(uniform(random), exponent(random)));
    b[k] = static_cast<float>(std::ldexp(uniform(random), exponent(random)));
  }
  using Inner = double (*)(const float*, const float*, int, int);
  std::vector<Inner> kinds = { envelope_base::envelope_inner_product };
#if defined(ENVELOPE_HAVE_AVX2_KERNELS)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
  {
    kinds.push_back(envelope_avx2::envelope_inner_product);
  }
#endif
  int orderMatters = 0;
  for (const Inner inner : kinds)
  {
    for (int lo = 0; lo < 20; ++lo)
    {
      for (const int count : { 0, 1, 5, 7, 8, 9, 15, 16, 17, 31, 64, 100, 257 })
      {
        const double expected = OrderedDot(a.data() + lo, b.data() + lo, lo, lo + count);
        const double got = inner(a.data() + lo, b.data() + lo, lo, lo + count);
        EXPECT_EQ(got, expected) << "lo " << lo << " count " << count;
        orderMatters += expected != RunningDot(a.data() + lo, b.data() + lo, lo, lo + count);
      }
    }
  }
  EXPECT_GT(orderMatters, 100) << "the data must be able to tell orders apart";
}
