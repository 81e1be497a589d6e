#include "EnvelopeSolver.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "EnvelopeKernels.h"

namespace
{
EnvelopeSystem TheEnvelopeSystem;

// The loops for the processor the program runs on, chosen once.
struct Kernels
{
  bool (*FactorBlock)(int, int, const int*, float*, float*, EnvelopeRowGate*);
  void (*LowerSolve)(int, const int*, const float*, const float*, float* const*, int);
  void (*UpperSolve)(int, const int*, const float*, const float*, float* const*, int);
};

const Kernels BaseKernels = { envelope_base::envelope_factor_block,
  envelope_base::envelope_lower_solve_many, envelope_base::envelope_upper_solve_many };

#if defined(ENVELOPE_HAVE_AVX2_KERNELS)
const Kernels Avx2Kernels = { envelope_avx2::envelope_factor_block,
  envelope_avx2::envelope_lower_solve_many, envelope_avx2::envelope_upper_solve_many };
#endif

bool ProcessorRunsAvx2()
{
#if defined(ENVELOPE_HAVE_AVX2_KERNELS)
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
  return false;
#endif
}

const Kernels* ChosenKernels = nullptr;
int ThreadCount = 0;
EnvelopeProgress ProgressReport = nullptr;
void* ProgressData = nullptr;

void ReportProgress(double fraction)
{
  if (ProgressReport)
  {
    ProgressReport(fraction, ProgressData);
  }
}

const Kernels& TheKernels()
{
  if (!ChosenKernels)
  {
    envelope_select_kernels(true);
  }
  return *ChosenKernels;
}
}

//------------------------------------------------------------------------------
bool envelope_select_kernels(bool wide)
{
#if defined(ENVELOPE_HAVE_AVX2_KERNELS)
  if (wide && ProcessorRunsAvx2())
  {
    ChosenKernels = &Avx2Kernels;
    return true;
  }
#endif
  ChosenKernels = &BaseKernels;
  return !wide;
}

//------------------------------------------------------------------------------
EnvelopeSystem& envelope_system()
{
  return TheEnvelopeSystem;
}

//------------------------------------------------------------------------------
void envelope_set_progress(EnvelopeProgress report, void* data)
{
  ProgressReport = report;
  ProgressData = data;
}

//------------------------------------------------------------------------------
void envelope_set_thread_count(int threads)
{
  ThreadCount = threads > 0 ? threads : 0;
}

namespace
{
// One factorisation of rows 1 ... n - 1, by blocks of EnvelopeBlockRows rows. Each thread
// takes the next block that nobody has taken and solves its rows through the columns to their
// left, waiting only where it reaches a row of a block still in the works (the last few
// columns: the rows of a block start far to the left of it). A block's rows see exactly the
// operations they would see on one thread, so the factor does not depend on the thread count.
class BlockFactorisation
{
public:
  BlockFactorisation(int n, const int* xenv, float* env, float* diag)
    : N(n)
    , Xenv(xenv)
    , Env(env)
    , Diag(diag)
    , Blocks((n - 1 + EnvelopeBlockRows - 1) / EnvelopeBlockRows)
  {
  }

  // Returns whether every pivot was positive.
  bool Run(int threads)
  {
    if (threads > 1)
    {
      try
      {
        this->Done = std::vector<std::atomic<unsigned char>>(this->Blocks);
      }
      catch (const std::bad_alloc&)
      {
        threads = 1;
      }
    }
    this->Gated = threads > 1;
    std::vector<std::thread> helpers;
    std::vector<char> helperPositive(threads > 1 ? threads - 1 : 0, 1);
    for (int t = 1; t < threads; ++t)
    {
      try
      {
        helpers.emplace_back(
          [this, &helperPositive, t] { helperPositive[t - 1] = this->Work(false); });
      }
      catch (const std::exception&)
      {
        break; // a thread that cannot be started (memory, limits): the others do its share
      }
    }
    bool positive = this->Work(true);
    for (std::thread& helper : helpers)
    {
      helper.join();
    }
    for (size_t t = 0; t < helpers.size(); ++t)
    {
      positive = positive && helperPositive[t];
    }
    return positive;
  }

private:
  // Takes blocks until none is left; the main thread also tells how far the factorisation
  // has got (about the share of the envelope factored).
  bool Work(bool reportProgress)
  {
    EnvelopeRowGate gate;
    gate.Wait = &BlockFactorisation::WaitForRow;
    gate.Context = this;
    const double entries = static_cast<double>(this->Xenv[this->N] - 1);
    int reported = 0;
    bool positive = true;
    for (;;)
    {
      const int b =
        this->Gated ? this->Next.fetch_add(1, std::memory_order_relaxed) : this->Serial++;
      if (b >= this->Blocks)
      {
        break;
      }
      const int first = 1 + b * EnvelopeBlockRows;
      if (!TheKernels().FactorBlock(
            first, this->N, this->Xenv, this->Env, this->Diag, this->Gated ? &gate : nullptr))
      {
        positive = false;
      }
      if (this->Gated)
      {
        this->Done[b].store(1, std::memory_order_release);
      }
      const int end = std::min(this->N, first + EnvelopeBlockRows);
      if (reportProgress && entries > 0.0 && end - reported >= 1024)
      {
        reported = end;
        ReportProgress(static_cast<double>(this->Xenv[end] - 1) / entries);
      }
    }
    if (reportProgress)
    {
      ReportProgress(1.0);
    }
    return positive;
  }

  static int WaitForRow(void* context, int row)
  {
    auto* self = static_cast<BlockFactorisation*>(context);
    int b = (row - 1) / EnvelopeBlockRows;
    for (int spins = 0; !self->Done[b].load(std::memory_order_acquire); ++spins)
    {
      if (spins >= 64)
      {
        std::this_thread::yield(); // the machine may be busy: let the block's thread run
      }
    }
    while (b + 1 < self->Blocks && self->Done[b + 1].load(std::memory_order_acquire))
    {
      ++b;
    }
    return 1 + (b + 1) * EnvelopeBlockRows;
  }

  const int N;
  const int* const Xenv;
  float* const Env;
  float* const Diag;
  const int Blocks;
  bool Gated = false;
  int Serial = 0;
  std::atomic<int> Next{ 0 };
  std::vector<std::atomic<unsigned char>> Done;
};

// Below about a million entries the factorisation takes a few milliseconds: threads would
// cost more than they save.
constexpr double ThreadedEntries = 1 << 20;

int ThreadsFor(double entries)
{
  if (ThreadCount > 0)
  {
    return ThreadCount;
  }
  if (entries < ThreadedEntries)
  {
    return 1;
  }
  return static_cast<int>(std::max(1u, std::min(std::thread::hardware_concurrency(), 8u)));
}
}

//------------------------------------------------------------------------------
int envelope_thread_count(int n, const int* xenv)
{
  return n > 0 ? ThreadsFor(static_cast<double>(xenv[n] - 1)) : 1;
}

//------------------------------------------------------------------------------
void envelope_factor(int n, const int* xenv, float* env, float* diag, int* iflag)
{
  if (n <= 0)
  {
    return;
  }
  if (!(diag[0] > 0.0f))
  {
    *iflag = 1;
    ReportProgress(1.0);
    return;
  }
  diag[0] = static_cast<float>(std::sqrt(static_cast<double>(diag[0])));
  if (n <= 1)
  {
    ReportProgress(1.0);
    return;
  }
  BlockFactorisation factorisation(n, xenv, env, diag);
  if (!factorisation.Run(envelope_thread_count(n, xenv)))
  {
    *iflag = 1;
  }
}

//------------------------------------------------------------------------------
void envelope_lower_solve(int n, const int* xenv, const float* env, const float* diag, float* rhs)
{
  TheKernels().LowerSolve(n, xenv, env, diag, &rhs, 1);
}

//------------------------------------------------------------------------------
void envelope_upper_solve(int n, const int* xenv, const float* env, const float* diag, float* rhs)
{
  TheKernels().UpperSolve(n, xenv, env, diag, &rhs, 1);
}

//------------------------------------------------------------------------------
void envelope_solve_many(float* const* rhs, int count)
{
  const EnvelopeSystem& sys = TheEnvelopeSystem;
  for (int done = 0; done < count; done += EnvelopeSharedSolves)
  {
    const int group = std::min(EnvelopeSharedSolves, count - done);
    TheKernels().LowerSolve(sys.N, sys.Xenv, sys.Env, sys.Diag, rhs + done, group);
    TheKernels().UpperSolve(sys.N, sys.Xenv, sys.Env, sys.Diag, rhs + done, group);
  }
}

//------------------------------------------------------------------------------
int envelope_solve(int mode, float* rhs)
{
  EnvelopeSystem& sys = TheEnvelopeSystem;
  if (mode == 0 || mode == 1)
  {
    envelope_factor(sys.N, sys.Xenv, sys.Env, sys.Diag, &sys.Iflag);
  }
  if (mode == 0 || mode == 2)
  {
    envelope_lower_solve(sys.N, sys.Xenv, sys.Env, sys.Diag, rhs);
    envelope_upper_solve(sys.N, sys.Xenv, sys.Env, sys.Diag, rhs);
  }
  return sys.Iflag;
}
