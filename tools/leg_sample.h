/**
 * The bundled sample: a human leg lying along the x axis (hip at x = -0.52, the sole of the
 * foot at x = 0.98, the leg's front and the toes facing +y), a landmark set that raises the
 * knee, bends it, thickens the calf and lifts the foot, a texture for the sock around the
 * lower calf and a background picture. Seen along -z with +y up, the pose moves the knee and
 * the foot up in the picture.
 *
 * Everything is computed from closed formulas and a fixed pseudo-random sequence, so the
 * same build makes the same files.
 */
#ifndef LEG_SAMPLE_H
#define LEG_SAMPLE_H

#include <vtkSmartPointer.h>

#include <array>
#include <ostream>
#include <string>
#include <vector>

class vtkImageData;
class vtkPolyData;

namespace legsample
{

/// Support radius the landmark set is laid out for (the radius scripts/run.sh fits with).
/// The kernel has a cusp at every landmark, which shows as dimples in the shading of the
/// deformed model unless each landmark's support holds many others: at this radius about
/// 180, where the fitted pose is smooth to the eye.
constexpr double kRadius = 0.25;

/// Smallest distance between two landmark sources; every model point has a landmark closer
/// than this, so no part of the model lies outside the spline's support.
constexpr double kLandmarkSpacing = 0.027;

/// End points of the axis the viewer wraps its cylindrical texture around: the leg's axis.
constexpr double kAxisPoint1[3] = { -0.518467, 0.00019908, -0.213065 };
constexpr double kAxisPoint2[3] = { 0.97664, 0.0240073, -0.213065 };

/// Cell scalar of the skin and of the sock.
constexpr float kBodyScalar = 1.0f;
constexpr float kTexturedScalar = 0.0f;

/// Name of the cell scalar array in the model file.
constexpr const char* kScalarName = "region";

constexpr int kTextureSize = 256;
constexpr int kBackgroundWidth = 640;
constexpr int kBackgroundHeight = 480;

/// Signed field of the leg's solid: negative inside, about the distance to the skin near it.
double LegField(const double p[3]);

/// The closed, outward-oriented triangle surface of the leg with one cell scalar per cell.
vtkSmartPointer<vtkPolyData> BuildLeg();

/// The pose the landmarks describe: hip flexed, knee bent, calf thicker, foot raised.
/// A smooth map of space; the target of a landmark is the map of its source.
void Warp(const double in[3], double out[3]);

struct Landmark
{
  std::array<double, 3> Source;
  std::array<double, 3> Target;
};

/// Landmark sources spread over the model's surface no closer than kLandmarkSpacing, each
/// with its warped target; coordinates rounded as the landmark file stores them.
std::vector<Landmark> PickLandmarks(vtkPolyData* leg, double spacing);

/// The interpolating spline the fitting tool computes for the landmarks (kernel
/// (1 - r/R)^2 within R plus an affine part, fitted to source minus target), solved densely
/// in double precision: n kernel weights then the constant and the x, y, z factors.
std::vector<std::array<double, 3>> FitSpline(const std::vector<Landmark>& landmarks, double radius);

/// Where the fitted deformation carries a point: p minus the spline at p, or p itself when
/// no landmark lies within the radius.
void Deform(const std::vector<Landmark>& landmarks,
  const std::vector<std::array<double, 3>>& coefficients, double radius, const double p[3],
  double out[3]);

/// One landmark line: six numbers, short enough for readers that take 79 characters a line.
std::string FormatLandmark(const Landmark& landmark);

/// 24-bit argyle knit for the sock.
vtkSmartPointer<vtkImageData> MakeTexture();

/// 24-bit backdrop: a gradient with a few soft shapes.
vtkSmartPointer<vtkImageData> MakeBackground();

/// Writes leg.vtk, leg.dat, leg.bmp and background.bmp into the directory, with a summary
/// on the log. False (with a message on the log) when a file cannot be written.
bool WriteSample(const std::string& directory, std::ostream& log);

} // namespace legsample

#endif
