#include "FitProgress.h"

#include <unistd.h>

namespace
{
FitObserver* TheObserver = nullptr;
}

//------------------------------------------------------------------------------
const char* FitStageName(FitStage stage)
{
  switch (stage)
  {
    case FitStage::Reading:
      return "reading";
    case FitStage::Ordering:
      return "ordering";
    case FitStage::Assembly:
      return "assembly";
    case FitStage::Factorisation:
      return "envelope factorisation";
    case FitStage::Solves:
      return "solves";
    case FitStage::SparseSolve:
      return "sparse solve (conjugate gradients)";
    case FitStage::Writing:
      return "writing";
  }
  return "";
}

//------------------------------------------------------------------------------
FitObserver* SetFitObserver(FitObserver* observer)
{
  FitObserver* before = TheObserver;
  TheObserver = observer;
  return before;
}

FitObserver* GetFitObserver()
{
  return TheObserver;
}

void FitReportStage(FitStage stage)
{
  if (TheObserver)
  {
    TheObserver->StageBegins(stage);
  }
}

void FitReportProgress(double fraction)
{
  if (TheObserver)
  {
    TheObserver->Progress(fraction);
  }
}

void FitReportOutput()
{
  if (TheObserver)
  {
    TheObserver->BeforeOutput();
  }
}

void FitReportEnvelope(int n, const int* xenv, const float* env)
{
  if (TheObserver)
  {
    TheObserver->EnvelopeAssembled(n, xenv, env);
  }
}

//------------------------------------------------------------------------------
TerminalProgress::TerminalProgress(std::FILE* out, double delaySeconds)
  : Out(out)
  , Start(Clock::now())
  , LastDraw(Start)
  , Delay(delaySeconds)
{
}

TerminalProgress::~TerminalProgress()
{
  this->Finish();
}

bool TerminalProgress::StandardErrorIsTerminal()
{
  return ::isatty(STDERR_FILENO) == 1;
}

void TerminalProgress::StageBegins(FitStage stage)
{
  this->Stage = stage;
  this->Fraction = stage == FitStage::Factorisation ? 0.0 : -1.0;
  this->Draw(true);
}

void TerminalProgress::Progress(double fraction)
{
  this->Fraction = fraction;
  if (fraction >= 1.0)
  {
    // The stage's work is done: whatever the fit prints next starts on a clean line.
    this->Clear();
    return;
  }
  this->Draw(false);
}

void TerminalProgress::BeforeOutput()
{
  this->Clear();
}

void TerminalProgress::Finish()
{
  this->Clear();
}

void TerminalProgress::Draw(bool force)
{
  const Clock::time_point now = Clock::now();
  if (std::chrono::duration<double>(now - this->Start).count() < this->Delay)
  {
    return;
  }
  if (!force && this->Shown && now - this->LastDraw < std::chrono::milliseconds(100))
  {
    return;
  }
  this->LastDraw = now;
  if (this->Fraction >= 0.0)
  {
    std::fprintf(this->Out, "\rPravik: %s %3d%%\033[K", FitStageName(this->Stage),
      static_cast<int>(this->Fraction * 100.0));
  }
  else
  {
    std::fprintf(this->Out, "\rPravik: %s...\033[K", FitStageName(this->Stage));
  }
  std::fflush(this->Out);
  this->Shown = true;
}

void TerminalProgress::Clear()
{
  if (this->Shown)
  {
    std::fputs("\r\033[K", this->Out);
    std::fflush(this->Out);
    this->Shown = false;
  }
}
