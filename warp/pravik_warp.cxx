// pravik-warp: applies a transform coefficient file (".trc", written by Pravik) to a model file
// and writes the deformed model, for batch work without the viewer.
//
//   pravik-warp [--jacobian] [--affine-everywhere] <coefficients.trc> <in> <out> [factor]
//
// Every point x of the model moves to x - factor * d(x), d being the fitted spline's
// displacement, exactly as the viewer's shape transform moves it at blend factor `factor`
// (the same transform, evaluated on all cores). Factor 1, the default, carries every source
// landmark onto its target. The model formats are chosen by extension (see ModelFile.h); cell
// and point data go along where the output format can hold them. Point lists (.txt, .csv, .xyz:
// three numbers a line) go through the same deformation and come out in their own layout.
#include "CheckedUpdate.h"
#include "DeformModel.h"
#include "ModelFile.h"
#include "NumberText.h"
#include "PointList.h"
#include "ProgressLine.h"
#include "TransformFile.h"
#include "WarpMessages.h"
#include "vtkShapeTransform.h"

#include <vtkDoubleArray.h>
#include <vtkLogger.h>
#include <vtkNew.h>
#include <vtkPointData.h>
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
const char* const OptionsLine =
  "   or: pravik-warp [--jacobian] [--affine-everywhere] <coefficients.trc> <in> <out> [factor]";

void PrintHelp()
{
  std::printf("%s\n%s\n\n"
              "Moves every point x of the model to x - factor * d(x), d being the displacement\n"
              "of the spline in the coefficient file (as Pravik wrote it), and writes the\n"
              "deformed model. factor defaults to 1, the full deformation; the viewer Halden\n"
              "shows the same shape at the same blend factor.\n\n"
              "Model formats, by extension: .vtk (VTK legacy, the default for other names),\n"
              ".vtp (VTK XML), .stl, .ply, .obj. Point and cell data are kept where the output\n"
              "format can hold them. The output file is replaced only when it is complete.\n\n"
              "A coefficient file whose radius is 0 or below holds the affine part of the fit\n"
              "alone: it is applied, the same map at every point, with a note.\n\n"
              "Points with no landmark within the radius keep their place (as in the viewer);\n"
              "how many there are is said on standard error.\n\n"
              "Point lists: an input and output named .txt, .csv or .xyz hold points, three\n"
              "numbers a line, separated by blanks or by commas, a header line allowed; the\n"
              "output keeps the input's header and separator.\n\n"
              "Exit status: 0 written; 1 usage; 2 the coefficient file cannot be read or\n"
              "used; 3 the model cannot be read; 4 the output cannot be written; 5 the model\n"
              "cannot be deformed (out of memory, say). Nothing is written unless the status\n"
              "is 0.\n\n"
              "  --jacobian           add the point array \"JacobianDeterminant\" (the\n"
              "                       determinant of the deformation's derivative at each\n"
              "                       point) to the model and say how many points fold (0 or\n"
              "                       below); for point lists, say it only\n"
              "  --affine-everywhere  apply the fit's affine part also where no landmark is\n"
              "                       within reach\n"
              "  -h, --help           this text\n"
              "  --version            the version\n",
    UsageLine, OptionsLine);
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

// How many points no landmark reaches, when there are any.
void ReportReach(
  ProgressLine& progress, vtkShapeTransform* transform, vtkDataArray* points, bool affineEverywhere)
{
  const vtkIdType beyond = transform->CountBeyondReach(points);
  if (beyond > 0)
  {
    progress.Clear();
    std::fprintf(stderr,
      "pravik-warp: %lld of %lld points lie beyond every landmark's reach: %s.\n",
      static_cast<long long>(beyond), static_cast<long long>(points->GetNumberOfTuples()),
      affineEverywhere ? "the affine part moves them" : "they keep their place");
  }
}

// How many points the deformation folds at (a Jacobian determinant of 0 or below).
void ReportFolds(ProgressLine& progress, vtkDoubleArray* determinants)
{
  vtkIdType folds = 0;
  for (vtkIdType i = 0; i < determinants->GetNumberOfTuples(); ++i)
  {
    folds += determinants->GetValue(i) <= 0.0 ? 1 : 0;
  }
  progress.Clear();
  std::fprintf(stderr,
    "pravik-warp: the deformation folds space at %lld of %lld points (Jacobian determinant 0 "
    "or below).\n",
    static_cast<long long>(folds), static_cast<long long>(determinants->GetNumberOfTuples()));
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
  bool jacobian = false;
  bool affineEverywhere = false;
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
    if (arg == "--jacobian")
    {
      jacobian = true;
      continue;
    }
    if (arg == "--affine-everywhere")
    {
      affineEverywhere = true;
      continue;
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
  const bool pointList = IsPointListPath(inPath);
  if (pointList != IsPointListPath(outPath))
  {
    std::fprintf(stderr,
      "pravik-warp: a point list (.txt, .csv, .xyz) goes to a point list, a model to a model.\n"
      "%s\n(pravik-warp --help tells more)\n",
      UsageLine);
    return Usage;
  }

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
  transform->SetAffineEverywhere(affineEverywhere);
  if (!transform->GetInitialized())
  {
    reason = messages->LastError();
    Fail(progress, "cannot use the coefficient file", trcPath,
      reason.empty() ? std::string("its spline cannot be set up") : reason);
    return Finish(BadTransform, progress, messages, reason);
  }

  if (pointList)
  {
    progress.Stage("reading the points");
    PointList list;
    if (!ReadPointList(inPath, list, reason))
    {
      Fail(progress, "cannot read the points", inPath, reason);
      return Finish(BadModel, progress, messages, reason);
    }
    progress.Stage("deforming " + std::to_string(list.Points->GetNumberOfTuples()) + " points");
    ReportReach(progress, transform, list.Points, affineEverywhere);
    if (jacobian)
    {
      vtkNew<vtkDoubleArray> determinants;
      transform->JacobianDeterminants(list.Points, determinants);
      ReportFolds(progress, determinants);
    }
    vtkNew<vtkDoubleArray> moved;
    transform->TransformPointArray(list.Points, moved);
    progress.Stage("writing the points");
    if (!WritePointList(outPath, list, moved, reason))
    {
      Fail(progress, "cannot write the points to", outPath, reason);
      return Finish(CannotWrite, progress, messages, reason);
    }
    return Finish(Written, progress, messages);
  }

  progress.Stage("reading the model");
  vtkSmartPointer<vtkPolyData> model = ReadModelFile(inPath, reason);
  if (!model)
  {
    Fail(progress, "cannot read the model", inPath, reason);
    return Finish(BadModel, progress, messages, reason);
  }

  progress.Stage("deforming " + std::to_string(model->GetNumberOfPoints()) + " points");
  vtkDataArray* original = model->GetPoints() ? model->GetPoints()->GetData() : nullptr;
  if (original)
  {
    ReportReach(progress, transform, original, affineEverywhere);
  }
  vtkSmartPointer<vtkPolyData> deformed = DeformModel(model, transform, reason);
  if (!deformed)
  {
    Fail(progress, "cannot deform the model", inPath, reason);
    return Finish(CannotDeform, progress, messages, reason);
  }
  if (jacobian && original)
  {
    // At the model's points as read, where each deformed point comes from.
    vtkNew<vtkDoubleArray> determinants;
    transform->JacobianDeterminants(original, determinants);
    determinants->SetName("JacobianDeterminant");
    deformed->GetPointData()->AddArray(determinants);
    ReportFolds(progress, determinants);
  }

  progress.Stage("writing the model");
  if (!WriteModelFile(deformed, outPath, reason))
  {
    Fail(progress, "cannot write the model to", outPath, reason);
    return Finish(CannotWrite, progress, messages, reason);
  }
  return Finish(Written, progress, messages);
}
