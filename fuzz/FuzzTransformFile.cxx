// Transform coefficient files (".trc") come from the user's disk. Whatever the reader
// accepts must be complete and consistent (N + 4 finite coefficients per axis, a permutation
// as the ordering), must write back into a file that reads the same, and must be safe to hand
// to the viewer's shape transform; whatever it refuses must leave the caller's contents alone.
#include "FuzzInput.h"
#include "TransformFile.h"
#include "vtkShapeTransform.h"

#include <vtkNew.h>
#include <vtkObject.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace
{
void CheckConsistent(const TransformCoefficients& c)
{
  fuzzinput::Check(c.Points && c.Locator, "an accepted file without points or locator");
  const vtkIdType n = c.Points->GetNumberOfPoints();
  const size_t expected = static_cast<size_t>(n) + 4;
  fuzzinput::Check(
    c.CoeffX.size() == expected && c.CoeffY.size() == expected && c.CoeffZ.size() == expected,
    "an accepted file without N + 4 coefficients per axis");
  fuzzinput::Check(c.UnList.size() == static_cast<size_t>(n), "an ordering not of N entries");
  fuzzinput::Check(std::isfinite(c.Radius), "an accepted radius that is not finite");
  std::vector<char> seen(static_cast<size_t>(n), 0);
  for (int k : c.UnList)
  {
    fuzzinput::Check(k >= 0 && k < n && !seen[k], "an accepted ordering that is no permutation");
    seen[k] = 1;
  }
  for (const std::vector<float>* a : { &c.CoeffX, &c.CoeffY, &c.CoeffZ })
  {
    for (float v : *a)
    {
      fuzzinput::Check(std::isfinite(v), "an accepted coefficient that is not finite");
    }
  }
  for (vtkIdType i = 0; i < n; ++i)
  {
    double p[3];
    c.Points->GetPoint(i, p);
    fuzzinput::Check(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]),
      "an accepted position that is not finite");
  }
}

// Written and read again, the file holds the same spline to the precision of "%f".
void CheckWritesBack(TransformCoefficients& c)
{
  // A real file in a private folder: the writer replaces files by renaming a new one over
  // them, which an in-memory file cannot take.
  static const std::string folder = []
  {
    char pattern[] = "/tmp/fuzz-trc-XXXXXX";
    const char* made = mkdtemp(pattern);
    fuzzinput::Check(made != nullptr, "no private folder for the written spline");
    return std::string(made);
  }();
  const std::string path = folder + "/written.trc";
  std::string reason;
  const TransformWriteStatus written = WriteTransformCoefficients(path.c_str(), c.Radius, c.Points,
    c.CoeffX.data(), c.CoeffY.data(), c.CoeffZ.data(), c.UnList.data(), &reason);
  fuzzinput::Check(written == TransformWriteStatus::Ok, "an accepted spline could not be written");
  TransformCoefficients back;
  fuzzinput::Check(ReadTransformCoefficients(path.c_str(), back).Status == TransformFileStatus::Ok,
    "a written spline did not read back");
  fuzzinput::Check(back.UnList == c.UnList, "the ordering changed on its way back");
  auto close = [](double a, double b) { return std::fabs(a - b) <= 5e-7 + std::fabs(a) * 1.2e-7; };
  fuzzinput::Check(close(c.Radius, back.Radius), "the radius drifted on its way back");
  for (size_t k = 0; k < c.CoeffX.size(); ++k)
  {
    fuzzinput::Check(close(c.CoeffX[k], back.CoeffX[k]) && close(c.CoeffY[k], back.CoeffY[k]) &&
        close(c.CoeffZ[k], back.CoeffZ[k]),
      "a coefficient drifted on its way back");
  }
}

// The viewer hands what it read to the shape transform and deforms a model with it.
void CheckTransformable(TransformCoefficients& c)
{
  vtkNew<vtkShapeTransform> transform;
  transform->SetNumberOfThreads(1);
  transform->SetParameters(c.Radius, c.Points, c.CoeffX.data(), c.CoeffY.data(), c.CoeffZ.data(),
    c.UnList.data(), c.Locator);
  vtkNew<vtkPoints> model;
  const vtkIdType n = c.Points->GetNumberOfPoints();
  for (vtkIdType i = 0; i < n && i < 16; ++i)
  {
    double p[3];
    c.Points->GetPoint(i, p);
    model->InsertNextPoint(p);
    model->InsertNextPoint(p[0] + 0.5 * c.Radius, p[1], p[2] - 0.25 * c.Radius);
  }
  model->InsertNextPoint(0.0, 0.0, 0.0);
  for (float factor : { 1.0f, 0.5f })
  {
    transform->SetFactor(factor);
    vtkNew<vtkPoints> moved;
    transform->TransformPoints(model, moved);
    fuzzinput::Check(moved->GetNumberOfPoints() == model->GetNumberOfPoints(),
      "the transform lost or added points");
  }
}
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  // Refused parameters are reported on VTK's error channel; expected here.
  vtkObject::GlobalWarningDisplayOff();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  fuzzinput::Store(data, size);
  TransformCoefficients c;
  const TransformFileResult result = ReadTransformCoefficients(fuzzinput::Path().c_str(), c);
  if (result.Status != TransformFileStatus::Ok)
  {
    fuzzinput::Check(!result.Reason.empty(), "a refusal without a reason");
    fuzzinput::Check(!c.Points && c.CoeffX.empty() && c.UnList.empty(),
      "a refused file changed the caller's contents");
    return 0;
  }
  CheckConsistent(c);
  CheckWritesBack(c);
  CheckTransformable(c);
  return 0;
}
