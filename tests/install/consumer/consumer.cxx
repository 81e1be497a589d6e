// Fits five landmarks through the installed library, warps a landmark and checks that it
// lands on its target, also after a round trip through a coefficient file.
#include <TransformFile.h>
#include <vtkDatReader.h>
#include <vtkLandmarkSplineFit.h>
#include <vtkMatrixSolver.h>
#include <vtkShapeTransform.h>

#include <vtkNew.h>
#include <vtkPoints.h>

#include <cmath>
#include <cstdio>
#include <string>

// The package must not change how its users compile.
#ifndef NDEBUG
#error "the package undefined NDEBUG in a release build"
#endif
#ifdef ENVELOPE_HAVE_AVX2_KERNELS
#error "the package leaked a definition of its own build"
#endif

static bool Warps(
  vtkShapeTransform* transform, const double from[3], const double to[3], double tolerance)
{
  vtkNew<vtkPoints> in;
  vtkNew<vtkPoints> out;
  in->InsertNextPoint(from);
  transform->TransformPoints(in, out);
  double p[3];
  out->GetPoint(0, p);
  const double error = std::hypot(p[0] - to[0], p[1] - to[1], p[2] - to[2]);
  std::printf("(%g %g %g) -> (%g %g %g), %g from the target\n", from[0], from[1], from[2], p[0],
    p[1], p[2], error);
  return out->GetNumberOfPoints() == 1 && error < tolerance;
}

int main(int argc, char* argv[])
{
  const double source[5][3] = { { 0, 0, 0 }, { 1, 0, 0 }, { 0, 1, 0 }, { 0, 0, 1 },
    { 0.3, 0.3, 0.3 } };
  const double target[5][3] = { { 0, 0, 0.1 }, { 1, 0.1, 0 }, { 0, 1, 0 }, { 0.1, 0, 1 },
    { 0.4, 0.25, 0.3 } };
  vtkNew<vtkPoints> sources;
  vtkNew<vtkPoints> targets;
  for (int i = 0; i < 5; ++i)
  {
    sources->InsertNextPoint(source[i]);
    targets->InsertNextPoint(target[i]);
  }
  vtkNew<vtkLandmarkSplineFit> fit;
  fit->SetSourceLandmarks(sources);
  fit->SetTargetLandmarks(targets);
  fit->SetRadius(2.0);
  if (!fit->Fit() || fit->GetNumberOfLandmarks() != 5 || fit->GetMaximumNeighbors() != 4)
  {
    std::printf("fit failed: %s\n", fit->GetErrorMessage());
    return 1;
  }
  if (!Warps(fit->GetTransform(), source[4], target[4], 1e-5))
  {
    return 1;
  }

  const std::string trc = std::string(argc > 1 ? argv[1] : ".") + "/five.trc";
  vtkNew<vtkLandmarkSplineFit> loaded;
  if (!fit->WriteCoefficientFile(trc.c_str()) || !loaded->ReadCoefficientFile(trc.c_str()))
  {
    std::printf("coefficient file round trip failed: %s%s\n", fit->GetErrorMessage(),
      loaded->GetErrorMessage());
    return 1;
  }
  // The file holds six decimals: the landmark comes within their rounding of its target.
  return Warps(loaded->GetTransform(), source[1], target[1], 1e-4) ? 0 : 1;
}
