// pravik-warp: applies a transform coefficient file (".trc", written by Pravik) to a model file
// and writes the deformed model, for batch work without the viewer.
//
//   pravik-warp <coefficients.trc> <model-in> <model-out> [factor]
//
// Every point x of the model moves to x - factor * d(x), d being the fitted spline's
// displacement, exactly as the viewer's shape transform moves it at blend factor `factor`
// (the same transform, evaluated on all cores). Factor 1, the default, carries every source
// landmark onto its target. The model formats are chosen by extension (see ModelFile.h); cell
// and point data go along where the output format can hold them.
#include "CheckedUpdate.h"
#include "DeformModel.h"
#include "ModelFile.h"
#include "NumberText.h"
#include "ProgressLine.h"
#include "TransformFile.h"
#include "WarpMessages.h"
#include "vtkShapeTransform.h"

#include <vtkLogger.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace
{
// Exit statuses (also in the README and in --help).
enum Status
{
  Written = 0,
  Usage = 1,
  BadTransform = 2,
  BadModel = 3,
  CannotWrite = 4,
  CannotDeform = 5
};

const char* const UsageLine = "Usage: pravik-warp <coefficients.trc> <model-in> <model-out> [factor]";

void PrintHelp()
{
  std::printf("%s\n\n"
              "Moves every point x of the model to x - factor * d(x), d being the displacement\n"
              "of the spline in the coefficient file (as Pravik wrote it), and writes the\n"
              "deformed model. factor defaults to 1, the full deformation; the viewer Halden\n"
              "shows the same shape at the same blend factor.\n\n"
              "Model formats, by extension: .vtk (VTK legacy, the default for other names),\n"
              ".vtp (VTK XML), .stl, .ply, .obj. Point and cell data are kept where the output\n"
              "format can hold them. The output file is replaced only when it is complete.\n\n"
              "A coefficient file whose radius is 0 or below holds the affine part of the fit\n"
              "alone: it is applied, the same map at every point, with a note.\n\n"
              "Exit status: 0 written; 1 usage; 2 the coefficient file cannot be read or\n"
              "used; 3 the model cannot be read; 4 the output cannot be written; 5 the model\n"
              "cannot be deformed (out of memory, say). Nothing is written unless the status\n"
              "is 0.\n\n"
              "  -h, --help     this text\n"
              "  --version      the version\n",
    UsageLine);
}

// A finite decimal number and nothing else, read as every number of the product's files is
// (NumberText: decimal notation only, the same in every locale).
bool ParseFactor(const char* text, float& factor)
{
  const char* p = text;
  float value = 0.0f;
  if (NumberText::ReadFloat(p, value) != NumberText::Scan::Number || *p != '\0' ||
    std::fabs(value) > 1e30f)
  {
    return false;
  }
  factor = value;
  return true;
}

void Fail(ProgressLine& progress, const std::string& what, const std::string& path,
  std::string reason)
{
  progress.Clear();
  while (!reason.empty() && (reason.back() == '.' || reason.back() == ' '))
  {
    reason.pop_back();
  }
  std::fprintf(stderr, "pravik-warp: %s \"%s\": %s.\n", what.c_str(), path.c_str(), reason.c_str());
}

// What VTK reported during the run and the program has not said itself, one note each.
int Finish(int status, ProgressLine& progress, const vtkWarpMessages* messages,
  const std::string& said = std::string())
{
  progress.Clear();
  std::vector<std::string> printed{ said };
  for (const std::string& message : messages->Messages())
  {
    bool known = false;
    for (const std::string& p : printed)
    {
      known = known || p == message;
    }
    if (!known)
    {
      std::fprintf(stderr, "pravik-warp: note: %s\n", message.c_str());
      printed.push_back(message);
    }
  }
  return status;
}
}

int main(int argc, char** argv)
{
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i)
  {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help")
    {
      PrintHelp();
      return Written;
    }
    if (arg == "--version")
    {
      std::printf("pravik-warp %s\n", QUORVEL_VERSION);
      return Written;
    }
    positional.push_back(arg);
  }
  float factor = 1.0f;
  if (positional.size() < 3 || positional.size() > 4 ||
    (positional.size() == 4 && !ParseFactor(positional[3].c_str(), factor)))
  {
    if (positional.size() == 4)
    {
      std::fprintf(stderr, "pravik-warp: the factor \"%s\" is not a finite decimal number.\n",
        positional[3].c_str());
    }
    std::fprintf(stderr, "%s\n(pravik-warp --help tells more)\n", UsageLine);
    return Usage;
  }
  const std::string& trcPath = positional[0];
  const std::string& inPath = positional[1];
  const std::string& outPath = positional[2];

  // VTK's messages are kept by a window of the program's own and printed at the end where
  // they add to what the program says itself; the logger's copy of them on standard error
  // would repeat them at once.
  vtkNew<vtkWarpMessages> messages;
  vtkOutputWindow::SetInstance(messages);
  vtkLogger::SetStderrVerbosity(vtkLogger::VERBOSITY_OFF);
  InstallUpdateMessageCapture();
  ProgressLine progress;

  progress.Stage("reading the coefficient file");
  TransformCoefficients coefficients;
  const TransformFileResult read = ReadTransformCoefficients(trcPath.c_str(), coefficients);
  std::string reason;
  if (read.Status != TransformFileStatus::Ok)
  {
    reason = read.Reason;
  }
  else if (coefficients.Points->GetNumberOfPoints() == 0)
  {
    // Pravik writes no such file; an identity would pass for a deformation.
    reason = "it holds no landmarks";
  }
  if (!reason.empty())
  {
    Fail(progress, "cannot use the coefficient file", trcPath, reason);
    return Finish(BadTransform, progress, messages, reason);
  }
  // A radius of 0 or below leaves the affine part alone, as in the viewer: the transform
  // says so with a warning, which comes out as a note.
  vtkNew<vtkShapeTransform> transform;
  transform->SetParameters(coefficients);
  transform->SetFactor(factor);
  if (!transform->GetInitialized())
  {
    reason = messages->LastError();
    Fail(progress, "cannot use the coefficient file", trcPath,
      reason.empty() ? std::string("its spline cannot be set up") : reason);
    return Finish(BadTransform, progress, messages, reason);
  }

  progress.Stage("reading the model");
  vtkSmartPointer<vtkPolyData> model = ReadModelFile(inPath, reason);
  if (!model)
  {
    Fail(progress, "cannot read the model", inPath, reason);
    return Finish(BadModel, progress, messages, reason);
  }

  progress.Stage("deforming " + std::to_string(model->GetNumberOfPoints()) + " points");
  vtkSmartPointer<vtkPolyData> deformed = DeformModel(model, transform, reason);
  if (!deformed)
  {
    Fail(progress, "cannot deform the model", inPath, reason);
    return Finish(CannotDeform, progress, messages, reason);
  }

  progress.Stage("writing the model");
  if (!WriteModelFile(deformed, outPath, reason))
  {
    Fail(progress, "cannot write the model to", outPath, reason);
    return Finish(CannotWrite, progress, messages, reason);
  }
  return Finish(Written, progress, messages);
}
