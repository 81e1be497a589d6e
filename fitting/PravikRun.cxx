#include "PravikRun.h"

#include "FitNotes.h"
#include "FitProgress.h"
#include "PravikHelp.h"
#include "NumberText.h"
#include "PravikOptions.h"
#include "SmoothingReport.h"
#include "SolverInput.h"
#include "TransformFile.h"
#include "vtkDatReader.h"
#include "vtkLandmarkSplineFit.h"
#include "vtkMatrixSolver.h"

#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkSMPTools.h>

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

namespace
{
// The progress line on a terminal, when there is one: it hears the reader's and the solver's
// stages, and is cleared before the run prints a message.
class RunLine
{
public:
  explicit RunLine(TerminalProgress* line)
    : Line(line)
  {
  }
  void Observe(vtkObject* object)
  {
    if (this->Line)
    {
      this->Line->Observe(object);
    }
  }
  void Stage(FitStage stage)
  {
    if (this->Line)
    {
      this->Line->StageBegins(stage);
    }
  }
  void BeforeOutput()
  {
    if (this->Line)
    {
      this->Line->BeforeOutput();
    }
  }

private:
  TerminalProgress* Line;
};

// The reader and the solver report their errors and warnings to VTK; the run prints its own
// lines for them, so what they report is kept here instead of reaching VTK's output window.
class Reports
{
public:
  Reports()
  {
    this->Command->SetCallback(&Reports::Keep);
    this->Command->SetClientData(this);
  }
  Reports(const Reports&) = delete;
  Reports& operator=(const Reports&) = delete;

  void Hear(vtkObject* object)
  {
    for (const unsigned long event : { vtkCommand::ErrorEvent, vtkCommand::WarningEvent })
    {
      object->AddObserver(event, this->Command);
    }
  }
  /// The last error text as VTK formats it ("ERROR: In ...\nvtkDatReader (0x...): ...").
  const std::string& LastError() const { return this->Error; }

private:
  static void Keep(vtkObject*, unsigned long event, void* self, void* text)
  {
    if (event == vtkCommand::ErrorEvent && text)
    {
      static_cast<Reports*>(self)->Error = static_cast<const char*>(text);
    }
  }

  vtkNew<vtkCallbackCommand> Command;
  std::string Error;
};

// The notes the options ask for: how far a smoothed spline passes from the landmarks, and how
// far a fit without a share of them passes from those left out.
void PrintOptionNotes(const PravikOptions& options, vtkDatReader* reader, const float* const* c)
{
  const int n = static_cast<int>(reader->GetPointArray()->GetNumberOfPoints());
  if (options.SmoothingGiven)
  {
    double maximum = 0.0;
    double rms = 0.0;
    LandmarkDistances(options.Smoothing, n, c[0], c[1], c[2], maximum, rms);
    std::fprintf(stderr,
      "Pravik: note: with smoothing %g the spline takes the landmarks to within %.3g (largest) "
      "and %.3g (RMS) of their targets.\n",
      options.Smoothing, maximum, rms);
  }
  if (options.LeaveOut > 0.0)
  {
    vtkNew<vtkLandmarkSplineFit> check;
    check->SetSourceLandmarks(reader->GetPointArray());
    check->SetTargetLandmarks(reader->GetPointArrayN());
    check->SetRadius(reader->GetRadius());
    check->SetSolver(static_cast<int>(options.Solver));
    check->SetSmoothing(options.Smoothing);
    if (check->LeaveOutCheck(options.LeaveOut))
    {
      std::fprintf(stderr,
        "Pravik: note: fitted without %g of the landmarks, the spline takes those left out to "
        "within %.3g (largest) and %.3g (RMS) of their targets.\n",
        options.LeaveOut, check->GetLeaveOutMaximumError(), check->GetLeaveOutRMSError());
    }
    else
    {
      std::fprintf(stderr, "Pravik: note: no leave-out check: %s\n", check->GetErrorMessage());
    }
  }
}

int Fit(const char* fileName, float radius, const char* radiusText, RunLine& line,
  const PravikOptions& options)
{
  // The reader outlives the solver, which works in the reader's arrays; both are released
  // only when the run is over.
  Reports reports;
  vtkNew<vtkDatReader> reader;
  line.Observe(reader);
  reports.Hear(reader);
  reader->FileName = fileName;
  reader->SetRadius(radius);
  if (reader->Read() != 0)
  {
    line.BeforeOutput();
    if (reader->GetOutOfMemory())
    {
      // As VTK's error channel shows it: the reader's own allocations, not the file.
      std::fputs(reports.LastError().c_str(), stderr);
    }
    else
    {
      std::printf("%s\n", reader->GetErrorMessage());
    }
    std::printf("Error!\n");
    return PravikReadFailed;
  }
  line.BeforeOutput();
  if (reader->GetPointArray()->GetNumberOfPoints() == 0)
  {
    // An all-zero coefficient file would pass for a fit (a spreadsheet export with semicolons
    // or decimal commas, say): the file is refused like one that cannot be read.
    std::printf("No landmark read from %s: %ld lines skipped (a landmark line starts with six "
                "numbers separated by blanks)!\nError!\n",
      fileName, reader->GetSkippedLines());
    return PravikReadFailed;
  }
  PrintFitNotes(stderr, radiusText, reader);

  vtkNew<vtkMatrixSolver> solver;
  line.Observe(solver);
  reports.Hear(solver);
  SetSolverInput(solver, reader);
  solver->SetMethod(options.Solver);
  solver->SetSmoothing(options.Smoothing);
  solver->Solve();
  if (solver->GetFactorizationFailed())
  {
    line.BeforeOutput();
    std::printf("Matrix is not positive  Iflag =%d\n", 1);
  }
  else if (solver->GetAffineFallbackUsed())
  {
    line.BeforeOutput();
    std::printf("Warning: %s\n", vtkMatrixSolver::AffineFallbackText(solver->GetAffineRank()));
  }
  // The coefficient arrays are handed out by the solver and belong to whoever asks for them.
  const std::unique_ptr<float[]> coeffX(solver->GetSplineCoeffX());
  const std::unique_ptr<float[]> coeffY(solver->GetSplineCoeffY());
  const std::unique_ptr<float[]> coeffZ(solver->GetSplineCoeffZ());
  if (solver->GetFactorizationFailed())
  {
    line.BeforeOutput();
    std::printf("No coefficient file written: check %s for coincident landmarks "
                "(two landmarks at one source position).\n",
      fileName);
    return PravikNotPositive;
  }
  if (!solver->GetSolveConverged())
  {
    line.BeforeOutput();
    std::printf("The sparse solve did not converge (relative residual %.3g after %d steps); no "
                "coefficient file written.\n",
      solver->GetSolveResidual(), solver->GetSolveIterations());
    return PravikNotConverged;
  }
  // Rounding can leave a tiny positive pivot where two landmarks coincide; the coefficients
  // are then just as meaningless.
  int first = 0;
  int second = 0;
  if (FindCoincidentLandmarks(reader->GetPointArray(), reader->GetTree(), first, second))
  {
    line.BeforeOutput();
    std::printf("Landmarks %d and %d (counted in file order from 1) share one source position; "
                "no coefficient file written.\n",
      first + 1, second + 1);
    return PravikNotPositive;
  }

  line.Stage(FitStage::Writing);
  const std::string output = PravikOutputName(fileName);
  std::string reason;
  const TransformWriteStatus written =
    WriteTransformCoefficients(output.c_str(), reader->GetRadius(), reader->GetPointArray(),
      coeffX.get(), coeffY.get(), coeffZ.get(), reader->GetUnList(), &reason);
  switch (written)
  {
    case TransformWriteStatus::Ok:
    {
      const float* const coefficients[3] = { coeffX.get(), coeffY.get(), coeffZ.get() };
      line.BeforeOutput();
      PrintOptionNotes(options, reader, coefficients);
      return PravikWritten;
    }
    case TransformWriteStatus::CannotOpen:
      line.BeforeOutput();
      std::printf("Cannot open output file!\n");
      return PravikCannotCreateOutput;
    case TransformWriteStatus::WriteFailed:
      line.BeforeOutput();
      std::printf("Cannot write output file %s (%s).\n", output.c_str(), reason.c_str());
      return PravikWriteFailed;
    case TransformWriteStatus::NotFinite:
      line.BeforeOutput();
      std::printf("The fit gave coefficients that are not finite numbers (landmark values too "
                  "large?); no coefficient file written.\n");
      return PravikNotFinite;
  }
  return PravikWriteFailed;
}
}

//------------------------------------------------------------------------------
std::string PravikOutputName(const std::string& input)
{
  std::string name = input;
  if (name.size() > 4)
  {
    std::string ending = name.substr(name.size() - 4);
    for (char& c : ending)
    {
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (ending == ".DAT")
    {
      name.resize(name.size() - 4);
    }
  }
  return name + ".trc";
}

//------------------------------------------------------------------------------
int PravikMain(int argc, char* argv[], double progressDelaySeconds)
{
  if (argc == 2 && PrintPravikInformation(argv[1], stdout))
  {
    return PravikWritten;
  }
  PravikOptions options;
  const char* why = "";
  if (!ParsePravikOptions(argc, argv, options, why))
  {
    std::printf("Usage: %s <filename[.dat]> <radius>\n", argc > 0 && argv[0] ? argv[0] : "Pravik");
    if (*why)
    {
      std::fprintf(stderr, "Pravik: %s.\n", why);
    }
    return PravikUsage;
  }
  // Left to itself, VTK starts worker threads (for the bounds of the point sets), and a thread
  // that cannot be created when memory runs short ends the process inside VTK, out of reach of
  // the handlers below. The fit's own threads (factorisation, solves) do without the ones
  // that cannot be started.
  vtkSMPTools::SetBackend("Sequential");
  // Narrowing a double beyond the float range is undefined: check before.
  const double value = NumberText::ToDouble(options.RadiusText);
  if (!std::isfinite(value))
  {
    std::printf("The radius %s is not a finite number!\n", options.RadiusText);
    return PravikNotFinite;
  }
  if (std::fabs(value) > FLT_MAX)
  {
    // In single precision it would be infinite, and every kernel value meaningless.
    std::printf("The radius %s is too large for the solver's single precision (at most %g)!\n",
      options.RadiusText, static_cast<double>(FLT_MAX));
    return PravikNotFinite;
  }
  const float radius = static_cast<float>(value);
  // A long fit shows how far it has got on standard error, when that is a terminal; the line
  // is gone before the run ends.
  std::unique_ptr<TerminalProgress> progress;
  if (TerminalProgress::StandardErrorIsTerminal())
  {
    progress = std::make_unique<TerminalProgress>(stderr, progressDelaySeconds);
  }
  RunLine line(progress.get());
  int status;
  try
  {
    status = Fit(options.FileName, radius, options.RadiusText, line, options);
  }
  catch (const char* message)
  {
    line.BeforeOutput();
    std::printf("%s\n", message);
    status = PravikOutOfMemory;
  }
  catch (const std::bad_alloc&)
  {
    line.BeforeOutput();
    std::printf("Not enough memory\n");
    status = PravikOutOfMemory;
  }
  if (progress)
  {
    progress->Finish();
  }
  std::fflush(stdout);
  return status;
}
