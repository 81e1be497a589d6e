// Writes pictures of the running application for the documentation: the main window with
// a model (and, when they lie beside it, its transform, texture and background), the About
// box and the options dialog; with a transform, also the camera and blend picture (a standard
// view with the orientation marker, paused at the full blend by Set Blend, with the blend and
// transform panes), the same coloured by the stretch (View > Colour > Stretch), and the Set
// Blend dialog; with a landmark file beside the model, the landmarks on the model half way
// through the deformation, and a target dragged while editing targets. Run under a virtual
// display:
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/tests/shell/shell_screenshots <dir> [model.vtk]
#include "ShellHarness.h"

#include "CHaldenDoc.h"
#include "CHaldenView.h"
#include "Dialog.h"
#include "LandmarkEditor.h"
#include "Prompts.h"
#include "resource.h"
#include "vtkRecordPlayView.h"
#include "vtkShapeTransform.h"

#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <vtkPoints.h>
#include <vtkRenderer.h>

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

// Loads the file beside the model with that name through the command, if there is one.
void LoadBeside(CMainFrame* frame, const QString& model, const char* name, UINT command)
{
  const QString path = QFileInfo(model).dir().filePath(name);
  if (QFileInfo::exists(path))
  {
    CScriptedPrompts prompts;
    prompts.AnswerFile(path.toStdString());
    frame->ExecuteCommand(command);
  }
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
  if (argc > 2)
  {
    const QString model = QString::fromLocal8Bit(argv[2]);
    const QString stem = QFileInfo(model).completeBaseName();
    LoadBeside(frame, model, qPrintable(stem + ".bmp"), ID_LOAD_TEXTURE);
    LoadBeside(frame, model, "background.bmp", ID_LOAD_BACKGROUND);
    LoadBeside(frame, model, qPrintable(stem + ".trc"), ID_LOAD_TRANSFORM);
  }
  if (argc > 2)
  {
    // From the starting camera, where the bent knee and the lifted foot show; taken when
    // the deformation is nearly at its full extent.
    auto* document = dynamic_cast<CHaldenDoc*>(frame->GetActiveDocument());
    shell::WaitFor([&] { return document->ShapeTransform->GetFactor() >= 0.88f; }, 30000);
  }
  shell::Settle(300);
  bool ok = Save(frame->GetWidget(), dir + "/halden.png");

  CScriptedPrompts prompts;
  auto* view = dynamic_cast<CHaldenView*>(frame->GetActiveView());
  if (view && view->CanSetBlend())
  {
    // Seen from the right, half way down from above, at the full deformation.
    const double direction[3] = { -0.8, -0.45, -0.4 };
    const double up[3] = { 0.0, 1.0, 0.0 };
    view->LookAlong(direction, up);
    prompts.AnswerDialog(
      [&](CDialog& d)
      {
        d.SetDlgItemText(IDC_BLEND, "1");
        d.ClickDlgButton(IDOK);
      });
    frame->ExecuteCommand(ID_SET_BLEND);
    frame->UpdateCommandUI();
    shell::Settle(300);
    ok = Save(frame->GetWidget(), dir + "/halden-camera-blend.png") && ok;

    // The same, coloured by the stretch: the scalar bar, the folds and their count.
    frame->ExecuteCommand(ID_COLOUR_STRETCH);
    frame->UpdateCommandUI();
    shell::Settle(300);
    ok = Save(frame->GetWidget(), dir + "/halden-stretch.png") && ok;
    frame->ExecuteCommand(ID_COLOUR_PLAIN);
  }
  const QPoint corner = frame->GetWidget()->geometry().topLeft();
  auto shoot = [&](const char* file)
  {
    return [&, file](CDialog& d)
    {
      d.GetWidget()->move(corner + QPoint(60, 80));
      shell::Settle(500);
      ok = Save(d.GetWidget(), dir + "/" + file) && ok;
      d.ClickDlgButton(IDCANCEL);
    };
  };
  prompts.AnswerDialog(shoot("about.png"));
  frame->ExecuteCommand(ID_APP_ABOUT);
  prompts.AnswerDialog(shoot("options.png"));
  frame->ExecuteCommand(ID_OPTIONS);
  if (view && view->CanSetBlend())
  {
    prompts.AnswerDialog(shoot("setblend.png"));
    frame->ExecuteCommand(ID_SET_BLEND);
  }
  if (argc > 2 && view)
  {
    const QString model = QString::fromLocal8Bit(argv[2]);
    const QString landmarks =
      QFileInfo(model).dir().filePath(QFileInfo(model).completeBaseName() + ".dat");
    auto* document = dynamic_cast<CHaldenDoc*>(frame->GetActiveDocument());
    if (QFileInfo::exists(landmarks) && document &&
      document->LoadLandmarks(landmarks.toStdString()))
    {
      // From the front, half way: the sources on their way to the targets.
      view->SetBlend(0.5);
      frame->ExecuteCommand(ID_VIEW_FRONT);
      frame->UpdateCommandUI();
      shell::Settle(300);
      ok = Save(frame->GetWidget(), dir + "/halden-landmarks.png") && ok;

      // Editing targets: the target drawn nearest the middle dragged up and to the right by
      // the mouse, the shape refitted to it and the pair highlighted.
      frame->ExecuteCommand(ID_EDIT_TARGETS);
      frame->UpdateCommandUI();
      QWidget* w = view->GetWidget();
      const QPoint middle(w->width() / 2, w->height() / 2);
      QPoint at = middle;
      int best = 1 << 30;
      vtkRenderer* renderer = view->GetRenderer();
      for (vtkIdType i = 0; i < document->Landmarks.GetCount(); ++i)
      {
        double p[3];
        document->Landmarks.GetTargets()->GetPoint(i, p);
        renderer->SetWorldPoint(p[0], p[1], p[2], 1.0);
        renderer->WorldToDisplay();
        const QPoint q(static_cast<int>(renderer->GetDisplayPoint()[0]),
          w->height() - 1 - static_cast<int>(renderer->GetDisplayPoint()[1]));
        if ((q - middle).manhattanLength() < best)
        {
          best = (q - middle).manhattanLength();
          at = q;
        }
      }
      auto mouse = [w](QEvent::Type type, QPoint p)
      {
        const Qt::MouseButtons held =
          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
        QMouseEvent event(type, QPointF(p), QPointF(w->mapToGlobal(p)),
          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held, {});
        QApplication::sendEvent(w, &event);
      };
      mouse(QEvent::MouseButtonPress, at);
      for (int k = 1; k <= 6; ++k)
      {
        mouse(QEvent::MouseMove, at + QPoint(10 * k, -6 * k));
      }
      mouse(QEvent::MouseButtonRelease, at + QPoint(60, -36));
      shell::WaitFor([&] { return !view->GetLandmarkEditor().IsRefitting(); }, 60000);
      frame->UpdateCommandUI();
      shell::Settle(300);
      ok = Save(frame->GetWidget(), dir + "/halden-editing.png") && ok;
    }
  }
  return ok ? 0 : 1;
}
