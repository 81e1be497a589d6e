// Files handed to Halden without a dialog: the second name on the command line loads as the
// transform and starts the animation; files dropped on the window (real Qt drop events to the
// main window) open the model, then load coefficient files and bitmaps onto it.
#include "ShellHarness.h"

#include "CHaldenDoc.h"
#include "Prompts.h"
#include "TransformFile.h"
#include "vtkRecordPlayView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <vtkBMPWriter.h>
#include <vtkImageData.h>
#include <vtkNew.h>
#include <vtkPoints.h>

using shell::Shell;

namespace
{
// A coefficient file over the small model: four landmarks, a gentle affine part.
std::string SmallTransform(const std::string& name)
{
  const std::string path = shell::ConfigHome().toStdString() + "/" + name;
  vtkNew<vtkPoints> points;
  points->InsertNextPoint(0, 0, 0);
  points->InsertNextPoint(1, 0, 0);
  points->InsertNextPoint(0, 1, 0);
  points->InsertNextPoint(0, 0, 1);
  const float c[8] = { 0, 0, 0, 0, 0.1f, 0.05f, 0, 0 };
  const int order[4] = { 0, 1, 2, 3 };
  WriteTransformCoefficients(path.c_str(), 2.0f, points, c, c, c, order);
  return path;
}

std::string SmallBitmap(const std::string& name)
{
  const std::string path = shell::ConfigHome().toStdString() + "/" + name;
  vtkNew<vtkImageData> image;
  image->SetDimensions(8, 8, 1);
  image->AllocateScalars(VTK_UNSIGNED_CHAR, 3);
  vtkNew<vtkBMPWriter> writer;
  writer->SetInputData(image);
  writer->SetFileName(path.c_str());
  writer->Write();
  return path;
}

CHaldenDoc* Document(Shell& app)
{
  return dynamic_cast<CHaldenDoc*>(app.Frame()->GetActiveDocument());
}

bool Animating(Shell& app)
{
  auto* view = dynamic_cast<vtkRecordPlayView*>(app.Frame()->GetActiveView());
  return view && view->GetAnimationRunning() != 0;
}

// Drags the data over the main window and drops it there; true when the drag was accepted.
bool Drop(Shell& app, const QMimeData& data)
{
  QWidget* window = app.Frame()->GetWidget();
  QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(window, &enter);
  if (!enter.isAccepted())
  {
    return false;
  }
  QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(window, &drop);
  return drop.isAccepted();
}
}

TEST(HaldenFilesIn, ASecondNameOnTheCommandLineLoadsTheTransformAndStartsTheAnimation)
{
  const std::string model = shell::SmallModel("leg.vtk");
  {
    CScriptedPrompts prompts;
    Shell app({ model, SmallTransform("leg.trc") });
    ASSERT_TRUE(app.Started);
    EXPECT_EQ(Document(app)->GetPathName(), model);
    EXPECT_EQ(Document(app)->TransformOn, 1);
    EXPECT_TRUE(Animating(app));
    EXPECT_TRUE(prompts.Messages.empty());
  }
  {
    // As Load Transform with that file: named in a message, the model shown undeformed.
    CScriptedPrompts prompts;
    const std::string missing = shell::ConfigHome().toStdString() + "/missing.trc";
    Shell app({ model, missing });
    ASSERT_TRUE(app.Started);
    EXPECT_EQ(Document(app)->NoData, 0);
    EXPECT_EQ(Document(app)->TransformOn, 0);
    EXPECT_FALSE(Animating(app));
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_NE(prompts.Messages[0].Text.find(missing), std::string::npos);
  }
}

// As a file manager opens a coefficient file: the model of the same name beside it opens with
// the transform; without one, the start fails with a message as for any unreadable model.
TEST(HaldenFilesIn, ACoefficientFileAloneOpensTheModelOfItsNameBesideIt)
{
  {
    CScriptedPrompts prompts;
    const std::string obj = shell::ConfigHome().toStdString() + "/beside.obj";
    QFile file(QString::fromStdString(obj));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3\nf 1 3 4\n");
    file.close();
    Shell app({ SmallTransform("beside.TRC") });
    ASSERT_TRUE(app.Started);
    EXPECT_EQ(Document(app)->GetPathName(), obj);
    EXPECT_EQ(Document(app)->TransformOn, 1);
    EXPECT_TRUE(Animating(app));
    EXPECT_TRUE(prompts.Messages.empty());
  }
  {
    CScriptedPrompts prompts;
    const std::string vtk = shell::SmallModel("first.vtk");
    shell::SmallModel("first.stl");
    Shell app({ SmallTransform("first.trc") });
    ASSERT_TRUE(app.Started);
    EXPECT_EQ(Document(app)->GetPathName(), vtk);
    EXPECT_EQ(Document(app)->TransformOn, 1);
  }
  {
    CScriptedPrompts prompts;
    Shell app({ SmallTransform("alone.trc") });
    EXPECT_FALSE(app.Started);
    EXPECT_EQ(prompts.Messages.size(), 1u);
  }
}

TEST(HaldenFilesIn, DroppedFilesOpenTheModelThenLoadTheTransformAndTexture)
{
  CScriptedPrompts prompts;
  Shell app;
  ASSERT_TRUE(app.Started);
  CHaldenDoc* document = Document(app);
  const std::string model = shell::SmallModel("dropped.vtk");
  const std::string trc = SmallTransform("dropped.trc");
  const std::string bmp = SmallBitmap("dropped.bmp");

  // Without a model, a coefficient file or a bitmap has nothing to go onto.
  QMimeData early;
  early.setUrls({ QUrl::fromLocalFile(QString::fromStdString(trc)) });
  EXPECT_TRUE(Drop(app, early));
  EXPECT_EQ(document->TransformOn, 0);

  // In one drop, in any order: the model first, then what goes onto it.
  QMimeData files;
  files.setUrls({ QUrl::fromLocalFile(QString::fromStdString(trc)),
    QUrl::fromLocalFile(QString::fromStdString(bmp)),
    QUrl::fromLocalFile(QString::fromStdString(model)) });
  ASSERT_TRUE(Drop(app, files));
  EXPECT_EQ(document->NoData, 0);
  EXPECT_EQ(document->GetPathName(), model);
  EXPECT_EQ(document->TransformOn, 1);
  EXPECT_TRUE(Animating(app));
  EXPECT_EQ(document->TextureOn, 1);
  EXPECT_TRUE(prompts.Messages.empty());

  // Text, or a link that is not a local file, is not taken.
  QMimeData text;
  text.setText("leg.vtk");
  EXPECT_FALSE(Drop(app, text));
  QMimeData remote;
  remote.setUrls({ QUrl("https://example.org/leg.vtk") });
  EXPECT_FALSE(Drop(app, remote));
}
