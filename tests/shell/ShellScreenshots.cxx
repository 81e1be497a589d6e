// Writes pictures of the running application for the documentation: the main window, the
// About box and the options dialog. Run under a virtual display:
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/tests/shell/shell_screenshots <dir> [model.vtk]
#include "ShellHarness.h"

#include "Dialog.h"
#include "Prompts.h"
#include "resource.h"

#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <cstdio>

namespace
{
bool Save(QWidget* widget, const QString& path)
{
  // The screen, not the widget: the render window's picture is only on the screen.
  QScreen* screen = QGuiApplication::primaryScreen();
  const QRect r = widget->frameGeometry();
  const QPixmap shot = screen->grabWindow(0, r.x(), r.y(), r.width(), r.height());
  const bool ok = shot.save(path);
  std::printf("%s %s (%dx%d)\n", ok ? "wrote" : "could not write", qPrintable(path), shot.width(),
    shot.height());
  return ok;
}
}

int main(int argc, char** argv)
{
  if (argc < 2)
  {
    std::fprintf(stderr, "usage: %s <output directory> [model.vtk]\n", argv[0]);
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]);
  std::vector<std::string> args;
  if (argc > 2)
  {
    args.push_back(argv[2]);
  }
  shell::Shell app(args);
  if (!app.Started)
  {
    std::fprintf(stderr, "Halden did not start\n");
    return 1;
  }
  CMainFrame* frame = app.Frame();
  shell::Settle(1500);
  bool ok = Save(frame->GetWidget(), dir + "/halden.png");

  CScriptedPrompts prompts;
  prompts.AnswerDialog(
    [&](CDialog& d)
    {
      d.GetWidget()->move(frame->GetWidget()->geometry().topLeft() + QPoint(60, 80));
      shell::Settle(500);
      ok = Save(d.GetWidget(), dir + "/about.png") && ok;
      d.ClickDlgButton(IDOK);
    });
  frame->ExecuteCommand(ID_APP_ABOUT);
  return ok ? 0 : 1;
}
