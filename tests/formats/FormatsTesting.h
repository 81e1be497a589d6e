// Shared by the model-format tests: a small labelled model with point and cell data, a
// coefficient file made by hand, and an evaluation of its spline that does not use the
// product's transform.
#ifndef FormatsTesting_h
#define FormatsTesting_h

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <string>


namespace formats
{
/// A 8 x 6 grid of quads bent into a half cylinder, split into triangles: cell scalars
/// "region" (1 on one half, 0 on the other), point scalars "warmth", texture coordinates,
/// point normals.
vtkSmartPointer<vtkPolyData> SmallModel();

/// Writes a coefficient file with a handful of landmarks near SmallModel, arbitrary kernel
/// weights and affine part, and radius 0.9, so that some points have no landmark in reach.
void WriteSmallTransform(const std::string& path);

/// The displacement d(x) of WriteSmallTransform's spline, summed in double precision over
/// every landmark (no locator): zero where no landmark lies within the radius.
void SmallDisplacement(const double x[3], double d[3]);
}

#endif
