// The model document in a frame with a plain render view, made through the single-document
// template as the application makes them; sample files, a fitted coefficient file, an
// independent evaluation of the fitted spline, and picture helpers.
#ifndef DocHarness_h
#define DocHarness_h

#include "CHaldenDoc.h"
#include "DocTemplate.h"
#include "FrameWnd.h"
#include "Prompts.h"
#include "VtkWindow.h"
#include "WinApp.h"
#include "vtkMFCRenderView.h"

#include <QApplication>
#include <QElapsedTimer>

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
/// A fresh directory for one test's files (removed with its contents at the end).
class TempDir
{
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string Path(const std::string& name) const { return this->Dir + "/" + name; }
  const std::string& Get() const { return this->Dir; }

private:
  std::string Dir;
};

QApplication& App();
bool WaitFor(const std::function<bool()>& condition, int deadlineMs = 20000);

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

/// A 24-bit bitmap of one colour.
void WriteBitmap(const std::string& path, unsigned char r, unsigned char g, unsigned char b,
  int width = 64, int height = 64);

/// A view that shows the document's props, answers the document's questions with what the
/// test sets, and counts the animation switches.
class DocTestView : public vtkMFCRenderView
{
public:
  bool Paused = true;
  int AnimationOnCalls = 0;
  int AnimationOffCalls = 0;
  bool Animating = false;
  int InitialUpdates = 0;

  void OnInitialUpdate() override;
  void OnUpdate(CView*, LPARAM, CObject*) override;
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
struct DocViewer
{
  std::unique_ptr<CWinApp> Application;
  std::unique_ptr<CSingleDocTemplate> Template;
  CHaldenDoc* Document = nullptr;
  CFrameWnd* Frame = nullptr;
  DocTestView* View = nullptr;

  DocViewer();
  ~DocViewer();

  /// Shows the frame and waits for the first paint.
  bool ShowAndPaint();
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
