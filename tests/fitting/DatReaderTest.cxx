// The landmark reader: which lines are landmarks, the breadth-first ordering and its bound.

#include "FittingTestSupport.h"
#include "LandmarkGenerator.h"
#include "vtkDatReader.h"

#include <gtest/gtest.h>

#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
#include <vtkMath.h>
#include <vtkNew.h>
#include <vtkObjectFactory.h>
#include <vtkOutputWindow.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <random>
#include <set>
#include <sstream>

namespace
{
// Reads `text` as a landmark file with the given radius.
struct ReadResult
{
  int Status = 0;
  std::string Output; ///< printed on standard output: nothing, the reader reports
  int Errors = 0;     ///< error events of the reader
  vtkNew<vtkDatReader> Reader;
};

// Reads with an observer of the reader's errors; returns the count of error events.
int ReadHeard(vtkDatReader* reader, std::string& output)
{
  int errors = 0;
  vtkNew<vtkCallbackCommand> count;
  count->SetClientData(&errors);
  count->SetCallback([](vtkObject*, unsigned long, void* n, void*) { ++*static_cast<int*>(n); });
  const unsigned long tag = reader->AddObserver(vtkCommand::ErrorEvent, count);
  testing::internal::CaptureStdout();
  const int status = reader->Read();
  output = testing::internal::GetCapturedStdout();
  reader->RemoveObserver(tag);
  EXPECT_EQ(errors, status == 0 ? 0 : 1);
  return status;
}

void ReadLandmarks(ReadResult& result, const std::string& text, float radius = 0.1f)
{
  ScratchDir dir;
  const std::string path = dir.File("landmarks.dat");
  WriteText(path, text);
  result.Reader->FileName = path.c_str();
  result.Reader->SetRadius(radius);
  result.Status = ReadHeard(result.Reader, result.Output);
  result.Reader->FileName = nullptr;
  EXPECT_EQ(result.Output, "");
}

std::vector<int> ToVector(const int* a, int n)
{
  return std::vector<int>(a, a + n);
}

std::string Line(double sx, double sy, double sz, double tx, double ty, double tz)
{
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, "%g %g %g %g %g %g\n", sx, sy, sz, tx, ty, tz);
  return buffer;
}

// Checks that List is a permutation, UnList its inverse, and that every two points within the
// radius are at most Max positions apart (checked over all pairs, independently of the locator).
void ExpectOrderingValid(vtkPoints* points, const int* list, int n, int max, double radius)
{
  std::vector<int> position(n, -1);
  for (int k = 0; k < n; ++k)
  {
    ASSERT_GE(list[k], 0);
    ASSERT_LT(list[k], n);
    ASSERT_EQ(position[list[k]], -1) << "landmark " << list[k] << " placed twice";
    position[list[k]] = k;
  }
  int largest = 0;
  for (int i = 0; i < n; ++i)
  {
    double p[3];
    points->GetPoint(i, p);
    for (int j = i + 1; j < n; ++j)
    {
      double q[3];
      points->GetPoint(j, q);
      const double d2 = vtkMath::Distance2BetweenPoints(p, q);
      if (d2 <= radius * radius)
      {
        const int gap = std::abs(position[i] - position[j]);
        ASSERT_LE(gap, max) << "landmarks " << i << " and " << j;
        largest = std::max(largest, gap);
      }
    }
  }
  EXPECT_GT(largest, 0) << "the sets used here always have neighbours";
}
}

TEST(DatReader, AcceptsSixNumberLinesAndSkipsOthers)
{
  ReadResult r;
  ReadLandmarks(r,
    "# header line\n"
    "1 2 3 4 5 6\n"
    "\n"
    "   -1.5e1\t2E-1 .5 7. +8 9 trailing words\n" // leading blanks, tabs, exponents
    "1 2 3 4 5\n"                                 // five numbers: skipped
    "point 1 2 3 4 5 6\n"                         // header word first: skipped
    "1 2 3 4 5 6 7\n"                             // seven: the first six count
    "1-2-3 4 5 6\r\n");                           // a sign separates numbers; CRLF
  ASSERT_EQ(r.Status, 0);
  EXPECT_EQ(r.Output, "");
  vtkPoints* s = r.Reader->GetPointArray();
  vtkPoints* t = r.Reader->GetPointArrayN();
  ASSERT_EQ(s->GetNumberOfPoints(), 4);
  double p[3];
  s->GetPoint(1, p);
  EXPECT_FLOAT_EQ(p[0], -15.0f);
  EXPECT_FLOAT_EQ(p[1], 0.2f);
  EXPECT_FLOAT_EQ(p[2], 0.5f);
  t->GetPoint(1, p);
  EXPECT_FLOAT_EQ(p[0], 7.0f);
  EXPECT_FLOAT_EQ(p[1], 8.0f);
  EXPECT_FLOAT_EQ(p[2], 9.0f);
  s->GetPoint(3, p);
  EXPECT_FLOAT_EQ(p[0], 1.0f);
  EXPECT_FLOAT_EQ(p[1], -2.0f);
  EXPECT_FLOAT_EQ(p[2], -3.0f);
}

TEST(DatReader, LongLinesAreReadWholeAndLastLineNeedsNoLineEnd)
{
  // Full-precision values make a line far longer than 79 characters.
  const std::string longLine = "0.123456789012345678 1.123456789012345678 2.123456789012345678 "
                               "3.123456789012345678 4.123456789012345678 5.123456789012345678 "
                               "and a comment that goes on 1 2 3 4 5 6 7 8 9\n";
  ASSERT_GT(longLine.size(), 160u);
  ReadResult r;
  ReadLandmarks(r, longLine + longLine + "9 8 7 6 5 4");
  ASSERT_EQ(r.Status, 0);
  vtkPoints* s = r.Reader->GetPointArray();
  ASSERT_EQ(s->GetNumberOfPoints(), 3) << "two long lines and the unterminated last one";
  double p[3];
  s->GetPoint(0, p);
  EXPECT_FLOAT_EQ(p[2], 2.1234568f);
  r.Reader->GetPointArrayN()->GetPoint(1, p);
  EXPECT_FLOAT_EQ(p[2], 5.1234568f);
  s->GetPoint(2, p);
  EXPECT_FLOAT_EQ(p[0], 9.0f);
}

TEST(DatReader, RefusesValuesThatAreNotFinite)
{
  for (const char* bad :
    { "1 2 nan 4 5 6\n", "1 2 3 4 -inf 6\n", "1 2 3 4 5 1e39\n", "1 2 3 INFINITY 5 6\n" })
  {
    ReadResult r;
    ReadLandmarks(r, std::string("0 0 0 0 0 0\n") + bad);
    EXPECT_EQ(r.Status, -1) << bad;
    const std::string message = r.Reader->GetErrorMessage();
    EXPECT_EQ(message.rfind("Line 2 of", 0), 0u) << message;
    EXPECT_NE(
      message.find("holds a landmark value that is not a finite number!"), std::string::npos)
      << message;
    EXPECT_FALSE(r.Reader->GetOutOfMemory());
  }
  // After the sixth number, or as a word that merely begins like one, it is no value.
  ReadResult ok;
  ReadLandmarks(ok, "1 2 3 4 5 6 nan\n1 2 3 4 5 information\n1 2 3 4 5 nano\n");
  EXPECT_EQ(ok.Status, 0);
  EXPECT_EQ(ok.Reader->GetPointArray()->GetNumberOfPoints(), 1);
}

TEST(DatReader, UnopenableFileFailsWithItsName)
{
  vtkNew<vtkDatReader> reader;
  reader->FileName = "/nonexistent/dir/none.dat";
  std::string output;
  EXPECT_EQ(ReadHeard(reader, output), -1);
  EXPECT_EQ(output, "");
  EXPECT_STREQ(reader->GetErrorMessage(), "Cannot open /nonexistent/dir/none.dat!");
  EXPECT_EQ(reader->GetPointArray()->GetNumberOfPoints(), 0);
}

TEST(DatReader, EmptyFileGivesNoLandmarks)
{
  for (const char* text : { "", "no landmarks here\n\n" })
  {
    ReadResult r;
    ReadLandmarks(r, text);
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Output, "");
    EXPECT_EQ(r.Reader->GetPointArray()->GetNumberOfPoints(), 0);
    EXPECT_EQ(r.Reader->GetMax(), 0);
    EXPECT_NE(r.Reader->GetList(), nullptr);
  }
}

TEST(DatReader, OrderingOfSmallExamples)
{
  {
    // x = 0, 3, 1, 2 with radius 1.5: 0 reaches 2, 2 reaches 3, 3 reaches 1.
    ReadResult r;
    ReadLandmarks(r,
      Line(0, 0, 0, 0, 0, 0) + Line(3, 0, 0, 1, 0, 0) + Line(1, 0, 0, 0, 0, 0) +
        Line(2, 0, 0, 2, 0, 1),
      1.5f);
    ASSERT_EQ(r.Status, 0);
    EXPECT_EQ(ToVector(r.Reader->GetList(), 4), (std::vector<int>{ 0, 2, 3, 1 }));
    EXPECT_EQ(ToVector(r.Reader->GetUnList(), 4), (std::vector<int>{ 0, 3, 1, 2 }));
    EXPECT_EQ(r.Reader->GetMax(), 1);
    // Right-hand sides in ordered positions: position 3 is landmark 1 (3 - 1 = 2).
    EXPECT_EQ(r.Reader->GetBX()[3], 2.0f);
    EXPECT_EQ(r.Reader->GetBZ()[2], -1.0f);
  }
  {
    // x = 0, 10, 0.5 with radius 1: the second group starts at the smallest unreached index.
    ReadResult r;
    ReadLandmarks(
      r, Line(0, 0, 0, 0, 0, 0) + Line(10, 0, 0, 0, 0, 0) + Line(0.5, 0, 0, 0, 0, 0), 1.0f);
    EXPECT_EQ(ToVector(r.Reader->GetList(), 3), (std::vector<int>{ 0, 2, 1 }));
    EXPECT_EQ(r.Reader->GetMax(), 1);
  }
  {
    // All farther apart than the radius: file order, Max 0.
    ReadResult r;
    ReadLandmarks(
      r, Line(0, 0, 0, 0, 0, 0) + Line(5, 0, 0, 0, 0, 0) + Line(0, 5, 0, 0, 0, 0), 1.0f);
    EXPECT_EQ(ToVector(r.Reader->GetList(), 3), (std::vector<int>{ 0, 1, 2 }));
    EXPECT_EQ(r.Reader->GetMax(), 0);
  }
  {
    // Exactly the radius apart still counts as neighbours; radius 0 joins coincident points only.
    ReadResult r;
    ReadLandmarks(
      r, Line(0, 0, 0, 0, 0, 0) + Line(9, 0, 0, 0, 0, 0) + Line(0, 2, 0, 0, 0, 0), 2.0f);
    EXPECT_EQ(ToVector(r.Reader->GetList(), 3), (std::vector<int>{ 0, 2, 1 }));
    ReadResult zero;
    ReadLandmarks(
      zero, Line(1, 1, 1, 0, 0, 0) + Line(3, 0, 0, 0, 0, 0) + Line(1, 1, 1, 0, 0, 0), 0.0f);
    EXPECT_EQ(ToVector(zero.Reader->GetList(), 3), (std::vector<int>{ 0, 2, 1 }));
    EXPECT_EQ(zero.Reader->GetMax(), 1);
  }
}

TEST(DatReader, CoincidentLandmarksAreKeptAsNeighbours)
{
  ReadResult r;
  ReadLandmarks(r, Line(1, 2, 3, 0, 0, 0) + Line(7, 7, 7, 0, 0, 0) + Line(1, 2, 3, 1, 1, 1), 0.5f);
  ASSERT_EQ(r.Reader->GetPointArray()->GetNumberOfPoints(), 3);
  EXPECT_EQ(ToVector(r.Reader->GetList(), 3), (std::vector<int>{ 0, 2, 1 }));
}

TEST(GetWellOderredList, NeighboursWithinMaxOnRandomSets)
{
  std::mt19937 random(23);
  for (int trial = 0; trial < 12; ++trial)
  {
    const int n = std::uniform_int_distribution<int>(20, 400)(random);
    const auto landmarks = RandomLandmarks(n, 100 + trial);
    vtkNew<vtkPoints> points;
    for (const Landmark& l : landmarks)
    {
      // Clustered copies exercise coincident points too.
      points->InsertNextPoint(l.Source);
      if (trial % 3 == 0 && points->GetNumberOfPoints() % 17 == 0)
      {
        points->InsertNextPoint(l.Source);
      }
    }
    const int count = static_cast<int>(points->GetNumberOfPoints());
    vtkNew<vtkPolyData> poly;
    poly->SetPoints(points);
    vtkNew<vtkPointLocator> locator;
    locator->SetDataSet(poly);
    locator->BuildLocator();
    const float radius = std::uniform_real_distribution<float>(0.05f, 0.3f)(random);
    int max = -1;
    int* list = GetWellOderredList(max, count, radius, points, locator);
    SCOPED_TRACE("n = " + std::to_string(count) + ", radius = " + std::to_string(radius));
    ExpectOrderingValid(points, list, count, max, radius);
    EXPECT_LT(max, count);
    delete[] list;
  }
}

TEST(DatReader, RightHandSidesFollowTheOrdering)
{
  const auto landmarks = RandomLandmarks(150, 5);
  ScratchDir dir;
  ASSERT_TRUE(WriteLandmarkFile(dir.File("r.dat"), landmarks));
  const std::string path = dir.File("r.dat");
  vtkNew<vtkDatReader> reader;
  reader->FileName = path.c_str();
  reader->SetRadius(0.2f);
  ASSERT_EQ(reader->Read(), 0);
  const int* list = reader->GetList();
  const int* unList = reader->GetUnList();
  for (int k = 0; k < 150; ++k)
  {
    ASSERT_EQ(unList[list[k]], k);
    // The file holds nine significant digits; the reader rounds them to float.
    const Landmark& l = landmarks[list[k]];
    auto asRead = [](double v)
    {
      char text[64];
      std::snprintf(text, sizeof text, "%.9g", v);
      return std::strtof(text, nullptr);
    };
    const float* b[3] = { reader->GetBX(), reader->GetBY(), reader->GetBZ() };
    for (int a = 0; a < 3; ++a)
    {
      EXPECT_EQ(b[a][k], asRead(l.Source[a]) - asRead(l.Target[a])) << "axis " << a;
    }
  }
  // A second Read starts afresh instead of appending.
  ASSERT_EQ(reader->Read(), 0);
  EXPECT_EQ(reader->GetPointArray()->GetNumberOfPoints(), 150);
  reader->FileName = nullptr;
}

namespace
{
class CapturingOutputWindow : public vtkOutputWindow
{
public:
  static CapturingOutputWindow* New();
  vtkTypeMacro(CapturingOutputWindow, vtkOutputWindow);
  void DisplayText(const char* text) override { this->Text += text; }
  std::string Text;
};
vtkStandardNewMacro(CapturingOutputWindow);
}

TEST(DatReader, AccessorsFollowVtkConventions)
{
  vtkNew<vtkDatReader> reader;
  EXPECT_STREQ(reader->GetClassName(), "vtkDatReader");
  EXPECT_TRUE(reader->IsA("vtkDatReader"));
  EXPECT_TRUE(reader->IsA("vtkObject"));
  EXPECT_EQ(reader->GetRadius(), 0.1f);
  EXPECT_EQ(reader->GetTX(), 0.0f);
  EXPECT_EQ(reader->GetList(), nullptr);
  const vtkMTimeType before = reader->GetMTime();
  reader->SetRadius(0.1f);
  EXPECT_EQ(reader->GetMTime(), before) << "an unchanged value does not modify";
  reader->SetRadius(0.25f);
  EXPECT_GT(reader->GetMTime(), before);

  vtkNew<CapturingOutputWindow> window;
  vtkOutputWindow* previous = vtkOutputWindow::GetInstance();
  previous->Register(nullptr);
  vtkOutputWindow::SetInstance(window);
  reader->DebugOn();
  reader->SetRadius(0.5f);
  reader->GetTree();
  reader->GetMax();
  reader->DebugOff();
  vtkOutputWindow::SetInstance(previous);
  previous->UnRegister(nullptr);
  EXPECT_NE(window->Text.find("setting Radius to 0.5"), std::string::npos) << window->Text;
  EXPECT_NE(window->Text.find("returning Tree address"), std::string::npos) << window->Text;
  EXPECT_NE(window->Text.find("returning Max of 0"), std::string::npos) << window->Text;

  std::ostringstream printed;
  reader->Print(printed);
  EXPECT_NE(printed.str().find("Radius: 0.5"), std::string::npos);
  EXPECT_NE(printed.str().find("Max: 0"), std::string::npos);
}
