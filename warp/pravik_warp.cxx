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
#include "ModelFile.h"
#include "ProgressLine.h"
#include "TransformFile.h"
#include "vtkShapeTransform.h"

#include <vtkNew.h>
#include <vtkObject.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkTransformPolyDataFilter.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
  CannotWrite = 4
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
              "Exit status: 0 written; 1 usage; 2 the coefficient file cannot be read;\n"
              "3 the model cannot be read; 4 the output cannot be written.\n\n"
              "  -h, --help     this text\n"
              "  --version      the version\n",
    UsageLine);
}

// A finite decimal number and nothing else (the C locale's decimal point, whatever the
// user's locale says).
bool ParseFactor(const char* text, float& factor)
{
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || errno == ERANGE || !std::isfinite(value) ||
    std::fabs(value) > 1e30)
  {
    return false;
  }
  factor = static_cast<float>(value);
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
      std::fprintf(stderr, "pravik-warp: the factor \"%s\" is not a finite number.\n",
        positional[3].c_str());
    }
    std::fprintf(stderr, "%s\n(pravik-warp --help tells more)\n", UsageLine);
    return Usage;
  }
  const std::string& trcPath = positional[0];
  const std::string& inPath = positional[1];
  const std::string& outPath = positional[2];

  // VTK's own messages would repeat ours in other words: the reasons are ours to print.
  vtkObject::GlobalWarningDisplayOff();
  ProgressLine progress;

  progress.Stage("reading the coefficient file");
  TransformCoefficients coefficients;
  const TransformFileResult read = ReadTransformCoefficients(trcPath.c_str(), coefficients);
  if (read.Status != TransformFileStatus::Ok)
  {
    Fail(progress, "cannot read the coefficient file", trcPath, read.Reason);
    return BadTransform;
  }
  if (!(coefficients.Radius > 0.0f) || !std::isfinite(coefficients.Radius))
  {
    Fail(progress, "cannot use the coefficient file", trcPath,
      "its radius is not a positive number");
    return BadTransform;
  }

  progress.Stage("reading the model");
  std::string reason;
  vtkSmartPointer<vtkPolyData> model = ReadModelFile(inPath, reason);
  if (!model)
  {
    Fail(progress, "cannot read the model", inPath, reason);
    return BadModel;
  }

  progress.Stage("deforming " + std::to_string(model->GetNumberOfPoints()) + " points");
  vtkNew<vtkShapeTransform> transform;
  transform->SetParameters(coefficients.Radius, coefficients.Points, coefficients.CoeffX.data(),
    coefficients.CoeffY.data(), coefficients.CoeffZ.data(), coefficients.UnList.data(),
    coefficients.Locator);
  transform->SetFactor(factor);
  vtkNew<vtkTransformPolyDataFilter> filter;
  filter->SetTransform(transform);
  filter->SetInputData(model);
  filter->Update();

  progress.Stage("writing the model");
  if (!WriteModelFile(filter->GetOutput(), outPath, reason))
  {
    Fail(progress, "cannot write the model to", outPath, reason);
    return CannotWrite;
  }
  return Written;
}
