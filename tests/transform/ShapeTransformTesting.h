// Test fixtures for vtkShapeTransform: splines with known coefficients, an independent
// brute-force evaluation of the displacement and a transform whose cache, neighbour searches
// and inverse solver the tests can look into.
#ifndef ShapeTransformTesting_h
#define ShapeTransformTesting_h

#include "vtkCommand.h"
#include "vtkPointLocator.h"
#include "vtkPoints.h"
#include "vtkPolyData.h"
#include "vtkShapeTransform.h"
#include "vtkSmartPointer.h"

#include <atomic>
#include <vector>

namespace shape_testing
{

// Counts the errors and warnings an object reports (and keeps them off the console).
class Reports : public vtkCommand
{
public:
  static Reports* New() { return new Reports; }
  void Execute(vtkObject*, unsigned long event, void*) override
  {
    (event == vtkCommand::ErrorEvent ? this->Errors : this->Warnings)++;
  }
  int Errors = 0;
  int Warnings = 0;
};

inline vtkSmartPointer<Reports> Watch(vtkObject* object)
{
  auto reports = vtkSmartPointer<Reports>::New();
  object->AddObserver(vtkCommand::ErrorEvent, reports);
  object->AddObserver(vtkCommand::WarningEvent, reports);
  return reports;
}

// A vtkShapeTransform that shows its displacement cache, how many points it searched the
// landmarks of (from any thread) and its inverse solver.
class ProbedTransform : public vtkShapeTransform
{
public:
  static ProbedTransform* New();
  vtkTypeMacro(ProbedTransform, vtkShapeTransform);
  vtkPoints* GetDisplacements() const { return this->Displacements; }
  bool IsCached() const { return this->Cached != 0; }
  long Searches() const { return static_cast<long>(this->NeighborSearches.load()); }
  // Cells of the landmark grid (0 without one).
  double GridCells() const;
  // The forward transform's preimage x of y at the current factor; the number of Newton
  // steps taken, or -1 when it did not converge.
  int InverseSteps(const double y[3], double x[3], double* residual);

protected:
  ProbedTransform() = default;
  ~ProbedTransform() override = default;

private:
  ProbedTransform(const ProbedTransform&) = delete;
  void operator=(const ProbedTransform&) = delete;
};

// Everything a transform coefficient file carries, kept alive for the transform.
struct Spline
{
  float Radius = 1.0f;
  vtkSmartPointer<vtkPoints> Points = vtkSmartPointer<vtkPoints>::New(); // file order
  std::vector<float> X, Y, Z;                                            // N + 4 each
  std::vector<int> UnList;                                               // N
  std::vector<double> Constants; // in place of X[N], Y[N], Z[N] when there are three
  vtkSmartPointer<vtkPolyData> Data = vtkSmartPointer<vtkPolyData>::New();
  vtkSmartPointer<vtkPointLocator> Locator;

  vtkIdType N() const { return this->Points->GetNumberOfPoints(); }
  // Builds a locator over Points.
  void BuildLocator();
  void HandTo(vtkShapeTransform* transform);
};

// Landmarks uniform in [lo, hi]^3, coefficients uniform in [-amp, amp], a random ordering.
Spline RandomSpline(
  int n, float radius, unsigned seed, double lo = 0.0, double hi = 1.0, double amp = 0.1);

vtkSmartPointer<vtkPoints> RandomPoints(
  vtkIdType n, unsigned seed, double lo = 0.0, double hi = 1.0, int dataType = VTK_FLOAT);

// The displacement by its definition, over all landmarks (no locator), in long double.
struct Displacement
{
  long double D[3] = { 0, 0, 0 };
  // Sum of the magnitudes of all terms of each component: bounds the rounding errors.
  long double Magnitude[3] = { 0, 0, 0 };
  int Neighbors = 0;
};
Displacement ReferenceDisplacement(const Spline& s, const double x[3]);

// Runs the transform's point evaluation into fresh float points.
vtkSmartPointer<vtkPoints> Evaluate(vtkShapeTransform* transform, vtkPoints* in);

// The largest deviation of out from x - factor * d_ref(x) relative to its own tolerance
// (a value above 1 fails): half a unit in the last place of the output plus, when
// cachedRounding is set, the rounding of the displacement to single precision.
double WorstDeviation(
  const Spline& s, vtkPoints* in, vtkPoints* out, float factor, bool cachedRounding);

}

#endif
