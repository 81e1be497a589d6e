// The model document in a frame with a plain render view, made through the single-document
// template as the application makes them; sample files, a fitted coefficient file, an
// independent evaluation of the fitted spline, and picture helpers.
#ifndef DocHarness_h
#define DocHarness_h

#include "CHaldenDoc.h"
#include "Prompts.h"
#include "ViewerHarness.h"
#include "WinApp.h"

#include <QApplication>

#include <vtkActor.h>
#include <vtkActorCollection.h>
#include <vtkCamera.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataReader.h>
#include <vtkRenderer.h>
#include <vtkSmartPointer.h>
#include <vtkUnsignedCharArray.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace dochar
{
using guitest::TempDir;
using guitest::WaitFor;
using guitest::WriteBitmap;

QApplication& App();

/// The sample's files.
std::string SampleModel();
std::string SampleLandmarks();
std::string SampleTexture();

/// The sample's coefficient file as the fitting tool makes it (once per test program, in a
/// directory of its own): build/fitting/Pravik leg.dat 0.25.
std::string SampleTransform();

/// A coefficient file read by the test itself (scanf), independent of the viewer's reader.
struct Spline
{
  double Radius = 0;
  std::vector<double> Points; // 3 per landmark, file order
  std::vector<double> Coeff[3];
  std::vector<int> UnList;
  bool Read(const std::string& path);
  /// d(x), as the fitted deformation defines it: zero with no landmark within the radius.
  void Displacement(const double x[3], double d[3]) const;
};

/// The points of a model file, read with a reader of the test's own.
vtkSmartPointer<vtkPolyData> ReadPolyData(const std::string& path);

/// Writes a small polygonal model (a strip of quads split into triangles) whose cells carry
/// the given scalar each.
void WriteStripModel(const std::string& path, double scalar, int quads = 20);

/// A view that shows the document's props, answers the document's questions with what the
/// test sets, and counts the animation switches.
class DocTestView : public guitest::DocumentPropsView
{
public:
  bool Paused = true;
  int AnimationOnCalls = 0;
  int AnimationOffCalls = 0;
  bool Animating = false;
  int InitialUpdates = 0;

  void OnInitialUpdate() override
  {
    ++this->InitialUpdates;
    guitest::DocumentPropsView::OnInitialUpdate();
  }
  void AnimationOn() override
  {
    ++this->AnimationOnCalls;
    this->Animating = true;
  }
  void AnimationOff() override
  {
    ++this->AnimationOffCalls;
    this->Animating = false;
  }
  bool IsPaused() const override { return this->Paused; }
};

/// Template, document, frame and view, and an application object with its own settings
/// (the recent-file list).
struct DocViewer : guitest::TemplateViewer<CHaldenDoc, DocTestView>
{
  std::unique_ptr<CWinApp> Application;

  DocViewer();
  ~DocViewer();

  /// Renders and reads the picture back (RGB, bottom-up).
  std::vector<unsigned char> Picture(int& width, int& height);
  /// Pixels whose colour differs from the view's background.
  long ModelPixels();
  /// Opens a model through Open Model with a scripted answer.
  void OpenModel(CScriptedPrompts& prompts, const std::string& path);
};

/// Largest distance between point i of a and point i of b (both must have as many points).
double MaxDistance(vtkPoints* a, vtkPoints* b);
/// Writes the current picture as PNG (for a person to look at).
void SavePicture(DocViewer& viewer, const std::string& path);
}

#endif
