// Fitting from the window: Deformation > Fit Landmarks against Pravik's coefficient file for
// the same landmarks and options, the dialog's neighbour statistics against a brute-force
// count, a failed fit that keeps the deformation in force, and the question before a fitted
// transform not saved is lost.
#include "UxHarness.h"

#include "FitLandmarksDlg.h"
#include "LandmarkGenerator.h"
#include "Prompts.h"
#include "Resources.h"
#include "TransformFile.h"
#include "WinApp.h"
#include "resource.h"
#include "vtkShapeTransform.h"

#include <gtest/gtest.h>

#include <vtkPoints.h>

#include <QFile>

#include <cmath>
#include <fstream>
#include <iostream>
#include <sstream>

using namespace ux;

namespace
{
struct Started
{
  bool Fresh = (ForgetSettings(), true);
  CScriptedPrompts Prompts;
  shell::Shell App;
  CMainFrame* Frame;
  CHaldenView* View;
  CHaldenDoc* Doc;
  Started()
    : App({ SampleFile("leg.vtk") })
    , Frame(App.Frame())
    , View(ViewOf(Frame))
    , Doc(DocOf(Frame))
  {
    EXPECT_TRUE(App.Started);
    EXPECT_TRUE(shell::WaitFor([&] { return View->GetInteractor()->GetInitialized() != 0; }));
  }
  /// Deformation > Fit Landmarks with these fields, OK, and the fit awaited.
  void Fit(const std::string& radius, const std::string& smoothing)
  {
    this->Prompts.AnswerDialog(
      [radius, smoothing](CDialog& d)
      {
        d.SetDlgItemText(IDC_FIT_RADIUS, radius);
        d.SetDlgItemText(IDC_FIT_SMOOTHING, smoothing);
        d.ClickDlgButton(IDOK);
      });
    ASSERT_TRUE(this->Frame->ExecuteCommand(ID_FIT_LANDMARKS));
    // Submitted, not delivered yet: the results come through the event loop.
    EXPECT_TRUE(this->Doc->IsFitting());
    EXPECT_EQ(this->View->GetWidget()->cursor().shape(), Qt::BusyCursor);
    EXPECT_EQ(this->Message().rfind("Fitting ", 0), 0u) << this->Message();
    ASSERT_TRUE(shell::WaitFor([&] { return !this->Doc->IsFitting(); }));
    EXPECT_NE(this->View->GetWidget()->cursor().shape(), Qt::BusyCursor);
  }
  std::string Message() const { return this->Frame->m_wndStatusBar.GetMessageText(); }
  /// The model's points at the full deformation (by a copy of the transform in force: the
  /// animation moves the document's own).
  std::vector<double> DeformedPoints()
  {
    vtkNew<vtkShapeTransform> copy;
    copy->DeepCopy(this->Doc->ShapeTransform);
    copy->SetFactor(1.0f);
    vtkNew<vtkPoints> p;
    copy->TransformPoints(this->Doc->Reader->GetOutput()->GetPoints(), p);
    std::vector<double> values;
    for (vtkIdType i = 0; p && i < p->GetNumberOfPoints(); ++i)
    {
      const double* x = p->GetPoint(i);
      values.insert(values.end(), x, x + 3);
    }
    return values;
  }
};

std::string Folder()
{
  return shell::ConfigHome().toStdString();
}

std::string Bytes(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// A copy of the sample's landmarks with one source position given twice.
std::string TwiceSharedSource()
{
  const std::string path = Folder() + "/twice.dat";
  std::vector<std::string> lines = Lines(SampleFile("leg.dat"));
  std::istringstream first(lines[0]);
  std::istringstream other(lines[5]);
  double a[6];
  double b[6];
  for (int k = 0; k < 6; ++k)
  {
    first >> a[k];
    other >> b[k];
  }
  std::ofstream out(path);
  for (const std::string& line : lines)
  {
    out << line << "\n";
  }
  out << a[0] << " " << a[1] << " " << a[2] << " " << b[3] << " " << b[4] << " " << b[5] << "\n";
  return path;
}

// An uneven set: a mesh whose spacing ranges a thousand-fold, moved by offset (far from the
// origin against its spread, yet near enough for the landmark file's single precision to
// keep its spacing, or about centred on the origin).
std::string GradedLandmarks(double offset)
{
  std::vector<Landmark> landmarks = GradedMeshLandmarks(20);
  for (Landmark& m : landmarks)
  {
    for (int a = 0; a < 3; ++a)
    {
      m.Source[a] += offset;
      m.Target[a] += offset;
    }
  }
  const std::string path = Folder() + "/graded" + std::to_string(offset) + ".dat";
  WriteLandmarkFile(path, landmarks);
  return path;
}

std::string FarGradedLandmarks()
{
  return GradedLandmarks(60.0);
}

// The largest distance between a landmark's target and where the transform takes its source.
double LandmarkError(vtkShapeTransform* transform, const std::string& landmarks)
{
  vtkNew<vtkShapeTransform> copy;
  copy->DeepCopy(transform);
  copy->SetFactor(1.0f);
  double worst = 0.0;
  for (const std::string& line : Lines(landmarks))
  {
    std::istringstream in(line);
    double v[6];
    if (!(in >> v[0] >> v[1] >> v[2] >> v[3] >> v[4] >> v[5]))
    {
      continue;
    }
    double out[3];
    copy->TransformPoint(v, out);
    worst = std::max(worst, std::sqrt(vtkMath::Distance2BetweenPoints(out, v + 3)));
  }
  return worst;
}

std::vector<vtkIdType> BruteForceCounts(vtkPoints* points, double radius)
{
  const vtkIdType n = points->GetNumberOfPoints();
  std::vector<vtkIdType> counts(n, 0);
  for (vtkIdType i = 0; i < n; ++i)
  {
    double a[3];
    points->GetPoint(i, a);
    for (vtkIdType j = 0; j < n; ++j)
    {
      double b[3];
      points->GetPoint(j, b);
      if (j != i && vtkMath::Distance2BetweenPoints(a, b) <= radius * radius)
      {
        ++counts[i];
      }
    }
  }
  return counts;
}
}

TEST(FitInWindow, GivesPravikCoefficientsAndDeformation)
{
  struct Case
  {
    const char* Name;
    std::string Landmarks;
    const char* Radius;
    const char* Smoothing;
  };
  const Case cases[] = {
    { "sample", SampleFile("leg.dat"), "0.25", "0" },
    { "sample smoothed", SampleFile("leg.dat"), "0.3", "0.01" },
    { "uneven, about the origin", GradedLandmarks(-0.5), "0.2", "0" },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.Name);
    // Pravik on a copy in a folder of this case's own.
    testsupport::TempDir dir("fit-in-window-");
    const std::string dat = dir.Get() + "/pairs.dat";
    QFile::copy(QString::fromStdString(c.Landmarks), QString::fromStdString(dat));
    ASSERT_EQ(
      pravikprocess::RunProgram({ QUORVEL_PRAVIK, "--smoothing", c.Smoothing, dat, c.Radius }), 0);
    const std::string pravik = dir.Get() + "/pairs.trc";
    TransformCoefficients file;
    ASSERT_EQ(ReadTransformCoefficients(pravik.c_str(), file).Status, TransformFileStatus::Ok);

    Started s;
    ASSERT_TRUE(s.Doc->LoadLandmarks(dat));
    s.Fit(c.Radius, c.Smoothing);
    ASSERT_TRUE(s.Doc->FitFailure.empty()) << s.Doc->FitFailure;
    ASSERT_EQ(s.Doc->TransformOn, 1);
    EXPECT_TRUE(s.Doc->TransformUnsaved);
    EXPECT_EQ(s.Frame->m_wndStatusBar.GetPaneText("transform"), "Transform fitted, not saved");
    EXPECT_EQ(s.Message().rfind("Fitted ", 0), 0u) << s.Message();

    const int n = static_cast<int>(file.Points->GetNumberOfPoints());
    ASSERT_EQ(s.Doc->ShapeTransform->GetPointArray()->GetNumberOfPoints(), n);
    EXPECT_EQ(s.Doc->ShapeTransform->GetRadius(), file.Radius);
    for (int i = 0; i < n + 4; ++i)
    {
      ASSERT_EQ(s.Doc->SplineCoeffX[i], file.CoeffX[i]) << "coefficient " << i;
      ASSERT_EQ(s.Doc->SplineCoeffY[i], file.CoeffY[i]) << "coefficient " << i;
      ASSERT_EQ(s.Doc->SplineCoeffZ[i], file.CoeffZ[i]) << "coefficient " << i;
    }
    for (int i = 0; i < n; ++i)
    {
      ASSERT_EQ(s.Doc->UnList[i], file.UnList[i]) << "landmark " << i;
    }

    // The model moves exactly as with Pravik's file loaded (the fit is dropped unsaved).
    const std::vector<double> fitted = s.DeformedPoints();
    s.Prompts.AnswerMessage(IDNO);
    ASSERT_TRUE(s.Doc->LoadTransform(pravik));
    EXPECT_EQ(s.Prompts.Messages.size(), 1u);
    EXPECT_EQ(s.DeformedPoints(), fitted);
    EXPECT_FALSE(s.Doc->TransformUnsaved);

    // Saved from the window, it is Pravik's file byte for byte.
    ASSERT_TRUE(s.Doc->LoadLandmarks(dat));
    s.Fit(c.Radius, c.Smoothing);
    s.Prompts.AnswerFile(dir.Get() + "/saved.trc");
    ASSERT_TRUE(s.Frame->ExecuteCommand(ID_SAVE_TRANSFORM));
    EXPECT_EQ(Bytes(dir.Get() + "/saved.trc"), Bytes(pravik));
    EXPECT_FALSE(s.Doc->TransformUnsaved);
    EXPECT_EQ(s.Frame->m_wndStatusBar.GetPaneText("transform"), "Transform saved.trc");
  }
}

TEST(FitInWindow, FarFromTheOriginCarriesLandmarksOntoTargets)
{
  // Far from the origin the window's fit (the library's) works relative to the landmarks'
  // centroid, while Pravik fits in the set's own coordinates: the coefficients differ, and
  // both must take the landmarks onto their targets.
  testsupport::TempDir dir("fit-far-");
  const std::string dat = dir.Get() + "/far.dat";
  QFile::copy(QString::fromStdString(FarGradedLandmarks()), QString::fromStdString(dat));
  ASSERT_EQ(pravikprocess::RunProgram({ QUORVEL_PRAVIK, dat, "0.2" }), 0);
  Started s;
  ASSERT_TRUE(s.Doc->LoadTransform(dir.Get() + "/far.trc"));
  const double pravik = LandmarkError(s.Doc->ShapeTransform, dat);
  ASSERT_TRUE(s.Doc->LoadLandmarks(dat));
  s.Fit("0.2", "0");
  ASSERT_TRUE(s.Doc->FitFailure.empty()) << s.Doc->FitFailure;
  const double window = LandmarkError(s.Doc->ShapeTransform, dat);
  std::cout << "largest landmark error 60 units from the origin: window " << window << ", Pravik "
            << pravik << "\n";
  EXPECT_LT(window, 1e-4);
  EXPECT_LT(pravik, 1e-4);
}

TEST(FitInWindow, FailedFitKeepsTheDeformationInForce)
{
  Started s;
  ASSERT_TRUE(s.Doc->LoadTransform(SampleTransform()));
  const std::vector<float> before(s.Doc->SplineCoeffX, s.Doc->SplineCoeffX + 755 + 4);
  const std::vector<double> shape = s.DeformedPoints();
  ASSERT_TRUE(s.Doc->LoadLandmarks(TwiceSharedSource()));
  s.Fit("0.25", "0");
  EXPECT_NE(s.Doc->FitFailure.find("share one source position"), std::string::npos)
    << s.Doc->FitFailure;
  ASSERT_EQ(s.Prompts.Messages.size(), 1u);
  EXPECT_NE(s.Prompts.Messages[0].Text.find("share one source position"), std::string::npos)
    << s.Prompts.Messages[0].Text;
  EXPECT_EQ(s.Doc->TransformOn, 1);
  EXPECT_FALSE(s.Doc->TransformUnsaved);
  EXPECT_EQ(s.Doc->TransformFileName, SampleTransform());
  EXPECT_EQ(std::vector<float>(s.Doc->SplineCoeffX, s.Doc->SplineCoeffX + 755 + 4), before);
  EXPECT_EQ(s.DeformedPoints(), shape);
}

TEST(FitInWindow, DialogStatisticsFollowTheTypedRadius)
{
  Started s;
  ASSERT_TRUE(s.Doc->LoadLandmarks(FarGradedLandmarks()));
  vtkPoints* sources = s.Doc->Landmarks.GetSources();
  const vtkIdType n = sources->GetNumberOfPoints();
  std::vector<std::string> problems;
  std::string suggested;
  s.Prompts.AnswerDialog(
    [&](CDialog& d)
    {
      // Unchosen, the radius starts as the suggestion; Suggest puts it back.
      suggested = d.GetDlgItemText(IDC_FIT_RADIUS);
      d.SetDlgItemText(IDC_FIT_RADIUS, "1");
      d.ClickDlgButton(IDC_FIT_SUGGEST);
      if (d.GetDlgItemText(IDC_FIT_RADIUS) != suggested)
      {
        problems.push_back("Suggest gave " + d.GetDlgItemText(IDC_FIT_RADIUS));
      }
      for (const char* typed : { "0.004", "0.03", "0.11", "0.5", "3" })
      {
        d.SetDlgItemText(IDC_FIT_RADIUS, typed);
        const std::vector<vtkIdType> counts = BruteForceCounts(sources, std::stod(typed));
        NeighbourStatistics expected;
        expected.Counted = n;
        expected.Fewest = *std::min_element(counts.begin(), counts.end());
        expected.Most = *std::max_element(counts.begin(), counts.end());
        double total = 0.0;
        for (const vtkIdType c : counts)
        {
          total += static_cast<double>(c);
          expected.Lonely += c == 0 ? 1 : 0;
        }
        expected.Mean = total / static_cast<double>(n);
        const std::string shown = d.GetDlgItemText(IDC_FIT_NEIGHBOURS);
        const std::string wanted = CFitLandmarksDlg::StatisticsText(expected, n);
        if (shown != wanted)
        {
          problems.push_back(
            std::string(typed) + ": shown \"" + shown + "\", counted \"" + wanted + "\"");
        }
      }
      d.SetDlgItemText(IDC_FIT_RADIUS, "-2");
      if (d.GetDlgItemText(IDC_FIT_NEIGHBOURS).find("positive number") == std::string::npos)
      {
        problems.push_back("no hint for -2: " + d.GetDlgItemText(IDC_FIT_NEIGHBOURS));
      }
      d.ClickDlgButton(IDCANCEL);
    });
  ASSERT_TRUE(s.Frame->ExecuteCommand(ID_FIT_LANDMARKS));
  EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);

  // About 30 neighbours at the suggestion: the median count over all landmarks.
  std::vector<vtkIdType> counts = BruteForceCounts(sources, std::stod(suggested));
  std::nth_element(counts.begin(), counts.begin() + counts.size() / 2, counts.end());
  EXPECT_NEAR(static_cast<double>(counts[counts.size() / 2]), 30.0, 6.0) << suggested;
  EXPECT_FALSE(s.Doc->IsFitting()); // cancelled: nothing fitted
}

TEST(FitInWindow, DialogRemembersTheChosenValues)
{
  Started s;
  ASSERT_TRUE(s.Doc->LoadLandmarks(SampleFile("leg.dat")));
  s.Fit("0.3", "0.02");
  EXPECT_EQ(s.Doc->FitRadius, 0.3);
  EXPECT_EQ(s.Doc->FitSmoothing, 0.02);
  std::string radius;
  std::string smoothing;
  s.Prompts.AnswerDialog(
    [&](CDialog& d)
    {
      radius = d.GetDlgItemText(IDC_FIT_RADIUS);
      smoothing = d.GetDlgItemText(IDC_FIT_SMOOTHING);
      d.SetDlgItemText(IDC_FIT_RADIUS, "nonsense");
      d.ClickDlgButton(IDOK); // refused: stays open
      d.ClickDlgButton(IDCANCEL);
    });
  ASSERT_TRUE(s.Frame->ExecuteCommand(ID_FIT_LANDMARKS));
  EXPECT_EQ(radius, "0.3");
  EXPECT_EQ(smoothing, "0.02");
  ASSERT_EQ(s.Prompts.Messages.size(), 1u);
  EXPECT_NE(s.Prompts.Messages[0].Text.find("radius must be a positive number"), std::string::npos);
  EXPECT_FALSE(s.Doc->IsFitting());
}

TEST(FitInWindow, UnsavedFitIsAskedForBeforeItIsLost)
{
  Started s;
  ASSERT_TRUE(s.Doc->LoadLandmarks(SampleFile("leg.dat")));
  s.Fit("0.25", "0");
  ASSERT_TRUE(s.Doc->TransformUnsaved);
  const std::string model = s.Doc->GetPathName();
  const std::string other = shell::SmallModel("other.vtk");

  // Cancel keeps everything: the window, the model, the fitted transform.
  struct Loss
  {
    const char* Name;
    std::function<void(Started&)> Do;
  };
  const Loss losses[] = {
    { "close the window", [](Started& t) { t.Frame->SendMessage(WM_CLOSE); } },
    { "open a model",
      [&](Started& t)
      {
        t.Prompts.AnswerFile(other);
        t.Frame->ExecuteCommand(ID_FILE_OPEN);
      } },
    { "drop a model", [&](Started& t) { t.Doc->OpenDroppedFile(other); } },
    { "open a recent file", [](Started& t) { t.Frame->ExecuteCommand(ID_FILE_MRU_FILE1); } },
    { "load a transform", [](Started& t) { t.Doc->LoadTransform(SampleTransform()); } },
    { "close the transform", [](Started& t) { t.Frame->ExecuteCommand(ID_CLOSE_TRANSFORM); } },
  };
  const std::vector<std::string> recent = AfxGetApp()->GetRecentFileList();
  ASSERT_FALSE(recent.empty());
  for (const Loss& loss : losses)
  {
    const std::size_t asked = s.Prompts.Messages.size();
    s.Prompts.AnswerMessage(IDCANCEL);
    loss.Do(s);
    ASSERT_EQ(s.Prompts.Messages.size(), asked + 1) << loss.Name;
    EXPECT_NE(s.Prompts.Messages.back().Text.find("not been saved"), std::string::npos);
    EXPECT_TRUE(s.Frame->GetWidget()->isVisible()) << loss.Name;
    EXPECT_EQ(s.Doc->GetPathName(), model) << loss.Name;
    EXPECT_TRUE(s.Doc->TransformUnsaved) << loss.Name;
    EXPECT_EQ(s.Doc->TransformOn, 1) << loss.Name;
    EXPECT_EQ(AfxGetApp()->GetRecentFileList(), recent) << loss.Name;
  }

  // No: the other model opens, and the fit, still in force and unsaved, is asked for again.
  s.Prompts.AnswerMessage(IDNO);
  s.Prompts.AnswerFile(other);
  s.Frame->ExecuteCommand(ID_FILE_OPEN);
  EXPECT_NE(s.Doc->GetPathName(), model);
  EXPECT_TRUE(s.Doc->TransformUnsaved);

  // Yes: saved first (Save Transform's dialog), then the transform file loads.
  const std::string saved = Folder() + "/asked.trc";
  QFile::remove(QString::fromStdString(saved));
  const std::size_t asked = s.Prompts.Messages.size();
  s.Prompts.AnswerMessage(IDYES);
  s.Prompts.AnswerFile(saved);
  EXPECT_TRUE(s.Doc->LoadTransform(SampleTransform()));
  EXPECT_EQ(s.Prompts.Messages.size(), asked + 1);
  TransformCoefficients written;
  EXPECT_EQ(ReadTransformCoefficients(saved.c_str(), written).Status, TransformFileStatus::Ok);
  EXPECT_FALSE(s.Doc->TransformUnsaved);

  // Nothing unsaved: no question.
  s.Prompts.AnswerFile(other);
  s.Frame->ExecuteCommand(ID_FILE_OPEN);
  EXPECT_EQ(s.Prompts.Messages.size(), asked + 1);
}
