#include "FitProgress.h"

#include <vtkCallbackCommand.h>
#include <vtkObject.h>

#include <unistd.h>

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
FitObserver::FitObserver()
  : Command(vtkSmartPointer<vtkCallbackCommand>::New())
{
  this->Command->SetCallback(&FitObserver::Dispatch);
  this->Command->SetClientData(this);
}

FitObserver::~FitObserver()
{
  for (auto& observed : this->Observed)
  {
    if (vtkObject* object = observed.first)
    {
      object->RemoveObserver(observed.second);
    }
  }
}

void FitObserver::Observe(vtkObject* object)
{
  for (const unsigned long event : { static_cast<unsigned long>(FitStageEvent),
         static_cast<unsigned long>(FitOutputEvent), static_cast<unsigned long>(FitEnvelopeEvent),
         static_cast<unsigned long>(vtkCommand::ProgressEvent) })
  {
    this->Observed.emplace_back(object, object->AddObserver(event, this->Command));
  }
}

void FitObserver::Dispatch(vtkObject*, unsigned long event, void* self, void* callData)
{
  auto* observer = static_cast<FitObserver*>(self);
  switch (event)
  {
    case FitStageEvent:
      observer->StageBegins(*static_cast<const FitStage*>(callData));
      break;
    case FitOutputEvent:
      observer->BeforeOutput();
      break;
    case FitEnvelopeEvent:
    {
      const auto* envelope = static_cast<const FitEnvelope*>(callData);
      observer->EnvelopeAssembled(envelope->N, envelope->Xenv, envelope->Env);
      break;
    }
    case vtkCommand::ProgressEvent:
      observer->Progress(*static_cast<const double*>(callData));
      break;
    default:
      break;
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
