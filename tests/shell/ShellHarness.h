// Halden's application object started in the test process as the program starts it, with
// the settings (recent-file list) kept in a temporary directory of the process's own.
#ifndef ShellHarness_h
#define ShellHarness_h

#include "GuiTestSupport.h"
#include "HaldenApp.h"
#include "MainFrm.h"

#include <QApplication>
#include <QFile>

#include <memory>
#include <string>
#include <vector>

namespace shell
{
/// The settings directory of this process (it holds the model files the tests write, too).
inline QString ConfigHome()
{
  return QString::fromStdString(guitest::SettingsHome());
}

inline QApplication& App()
{
  return guitest::App("Halden");
}

using guitest::Settle;
using guitest::WaitFor;

/// A model file of this process's own: two triangles of the body (cell scalar 1) and one
/// of the textured part (0).
inline std::string SmallModel(const std::string& name)
{
  const std::string path = shell::ConfigHome().toStdString() + "/" + name;
  QFile file(QString::fromStdString(path));
  file.open(QIODevice::WriteOnly);
  file.write("# vtk DataFile Version 3.0\nsmall\nASCII\nDATASET POLYDATA\n"
             "POINTS 5 float\n0 0 0  1 0 0  1 1 0  0 1 0  0.5 0.5 0.5\n"
             "POLYGONS 3 12\n3 0 1 2\n3 0 2 3\n3 1 2 4\n"
             "CELL_DATA 3\nSCALARS region float 1\nLOOKUP_TABLE default\n1\n1\n0\n");
  return path;
}

/// The application started with the given command-line arguments (after the program name).
template <class AppType>
struct BasicShell
{
  std::unique_ptr<AppType> Application;
  std::vector<std::string> Arguments;
  std::vector<char*> Argv;
  BOOL Started = FALSE;

  explicit BasicShell(std::vector<std::string> args = {})
    : Arguments(std::move(args))
  {
    App();
    this->Arguments.insert(this->Arguments.begin(), "Halden");
    for (std::string& a : this->Arguments)
    {
      this->Argv.push_back(&a[0]);
    }
    this->Argv.push_back(nullptr);
    this->Application = std::make_unique<AppType>();
    this->Application->m_argc = static_cast<int>(this->Arguments.size());
    this->Application->m_argv = this->Argv.data();
    this->Started = this->Application->InitInstance();
  }

  ~BasicShell()
  {
    this->Application->ExitInstance();
    this->Application.reset();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  CMainFrame* Frame() const { return dynamic_cast<CMainFrame*>(this->Application->m_pMainWnd); }
};
using Shell = BasicShell<CHaldenApp>;
}

#endif
