// What the tests of the camera, blend, status and settings commands share: Halden started as
// the program starts it, its view and document, the window made active for keys, the picture
// the view shows, and models and a fitted transform made as users' are.
#ifndef UxHarness_h
#define UxHarness_h

#include "ShellHarness.h"

#include "CHaldenDoc.h"
#include "CHaldenView.h"
#include "MainFrm.h"
#include "ModelFile.h"
#include "PravikProcess.h"
#include "VtkWindow.h"

#include <QAction>
#include <QApplication>
#include <QTest>

#include <vtkCellData.h>
#include <vtkFloatArray.h>
#include <vtkImageData.h>
#include <vtkMath.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkPolyDataNormals.h>
#include <vtkRenderWindow.h>
#include <vtkRendererCollection.h>
#include <vtkSphereSource.h>
#include <vtkWindowToImageFilter.h>

#include <fstream>
#include <string>
#include <vector>

namespace ux
{
inline CHaldenView* ViewOf(CMainFrame* frame)
{
  return dynamic_cast<CHaldenView*>(frame->GetActiveView());
}

inline CHaldenDoc* DocOf(CMainFrame* frame)
{
  return dynamic_cast<CHaldenDoc*>(frame->GetActiveDocument());
}

/// The main window shown and active, so that its accelerators take keys.
inline QWidget* Activate(CMainFrame* frame)
{
  QWidget* window = frame->GetWidget();
  window->show();
  QApplication::setActiveWindow(window);
  shell::WaitFor([&] { return QApplication::activeWindow() == window; });
  return window;
}

/// A key pressed on the main window, as a user presses it.
inline void Press(CMainFrame* frame, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
{
  QTest::keyClick(frame->GetWidget(), key, modifiers);
}

/// The picture in the render window now: RGB rows, bottom-up.
struct Picture
{
  int Width = 0;
  int Height = 0;
  std::vector<unsigned char> Rgb;
  const unsigned char* At(int x, int y) const { return &this->Rgb[3 * (y * this->Width + x)]; }
  /// Pixels in the rectangle [x0, x1) x [y0, y1) for which the test holds.
  template <class Test>
  long Count(int x0, int y0, int x1, int y1, Test test) const
  {
    long n = 0;
    for (int y = y0; y < y1; ++y)
    {
      for (int x = x0; x < x1; ++x)
      {
        const unsigned char* p = this->At(x, y);
        n += test(p[0], p[1], p[2]) ? 1 : 0;
      }
    }
    return n;
  }
};

inline Picture Grab(CHaldenView* view)
{
  view->Render();
  vtkNew<vtkWindowToImageFilter> grab;
  grab->SetInput(view->GetRenderWindow());
  grab->ShouldRerenderOff();
  grab->Update();
  Picture picture;
  int dims[3];
  grab->GetOutput()->GetDimensions(dims);
  picture.Width = dims[0];
  picture.Height = dims[1];
  auto* p = static_cast<unsigned char*>(grab->GetOutput()->GetScalarPointer());
  picture.Rgb.assign(p, p + 3 * dims[0] * dims[1]);
  return picture;
}

/// Not the view's background colour (0.05, 0.35, 0.45).
inline bool NotBackground(int r, int g, int b)
{
  return std::abs(r - 13) + std::abs(g - 89) + std::abs(b - 115) > 40;
}

/**
 * A model as a scanner gives one: an ellipsoid (3 x 1.2 x 0.7) with uneven triangles and
 * noise on its surface, far from the origin (around (1200, -800, 300)); the cells with
 * x above the centre form the textured part (scalar 0), the others the body (1), unless
 * allBody.
 */
inline std::string ScannedModel(const std::string& name, bool allBody = false)
{
  vtkNew<vtkSphereSource> sphere;
  sphere->SetThetaResolution(37);
  sphere->SetPhiResolution(23);
  sphere->Update();
  vtkNew<vtkPolyData> model;
  model->DeepCopy(sphere->GetOutput());
  model->GetPointData()->Initialize();
  vtkMath::RandomSeed(4711);
  for (vtkIdType i = 0; i < model->GetNumberOfPoints(); ++i)
  {
    double p[3];
    model->GetPoint(i, p);
    const double lump = 1.0 + vtkMath::Random(-0.03, 0.03);
    model->GetPoints()->SetPoint(i, 1200.0 + 3.0 * lump * p[0] + 0.2 * p[1] * p[1],
      -800.0 + 1.2 * lump * p[1], 300.0 + 0.7 * lump * p[2]);
  }
  vtkNew<vtkFloatArray> labels;
  labels->SetName("region");
  for (vtkIdType c = 0; c < model->GetNumberOfCells(); ++c)
  {
    double centre[3] = { 0, 0, 0 };
    vtkCell* cell = model->GetCell(c);
    for (vtkIdType k = 0; k < cell->GetNumberOfPoints(); ++k)
    {
      centre[0] += model->GetPoint(cell->GetPointId(k))[0] / cell->GetNumberOfPoints();
    }
    labels->InsertNextValue(allBody || centre[0] < 1200.0 ? 1.0f : 0.0f);
  }
  model->GetCellData()->SetScalars(labels);
  const std::string path = shell::ConfigHome().toStdString() + "/" + name;
  std::string reason;
  WriteModelFile(model, path, reason);
  return path;
}

/// No settings kept by an earlier test of this process: the first start's defaults.
inline void ForgetSettings()
{
  shell::App();
  QFile::remove(shell::ConfigHome() + "/Quorvel/Halden.conf");
}

inline std::string SampleFile(const char* name)
{
  return std::string(QUORVEL_TEST_DATA_DIR) + "/" + name;
}

/// The sample's coefficient file as Pravik makes it (Pravik leg.dat 0.25), once per process.
inline const std::string& SampleTransform()
{
  static const std::string trc = pravikprocess::FitCopy(
    QUORVEL_PRAVIK, SampleFile("leg.dat"), shell::ConfigHome().toStdString(), "0.25");
  return trc;
}

/// The lines of a text file.
inline std::vector<std::string> Lines(const std::string& path)
{
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
  {
    lines.push_back(line);
  }
  return lines;
}
}

#endif
