// Model files come from the user's disk in five formats (legacy VTK ASCII or binary, VTK XML,
// STL ASCII or binary, PLY ASCII or binary, OBJ), and ReadModelFile, with its checks before
// and after VTK's readers, is all that stands between them and the viewer, pravik-warp and
// the library. The input's first byte picks the format the rest is read as and the format
// the model goes back out to (FuzzModelFormat.h); the rest is the file.
//
// ReadModelFile must refuse with a reason or hand out a model with finite points and cells
// that name only points it has. What it accepts is moved as pravik-warp moves a model (a
// transform filter; here a small translation), written by WriteModelFile to the input's own
// format and to the chosen one, and must read back, by ReadModelFile and by VTK's reader,
// with the points and cells that format keeps.
//
// VTK's reporting stays on, as in the programs: the readers' errors are what turns many
// damaged files into refusals. The messages go to an output window of this program, which
// drops them, and VTK's log stays off the terminal (QUORVEL_FUZZ_VTK_MESSAGES=1 prints them,
// to study one input). QUORVEL_FUZZ_MODEL_FORMAT=vtk|vtp|stl|ply|obj reads every input as
// that format, to spend a run on one. At the end the inputs of each format and variant (text
// or binary) are counted.
#include "FuzzInput.h"
#include "FuzzModelFormat.h"
#include "ModelFile.h"
#include "ModelFileCheck.h"

#include <vtkAbstractArray.h>
#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkLogger.h>
#include <vtkNew.h>
#include <vtkObjectFactory.h>
#include <vtkOutputWindow.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSMPTools.h>
#include <vtkSTLReader.h>
#include <vtkTransform.h>
#include <vtkTransformPolyDataFilter.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <limits>
#include <string>
#include <unistd.h>

namespace
{
class vtkFuzzOutputWindow : public vtkOutputWindow
{
public:
  static vtkFuzzOutputWindow* New();
  vtkTypeMacro(vtkFuzzOutputWindow, vtkOutputWindow);

  void DisplayText(const char* text) override
  {
    if (this->Print && text)
    {
      std::fputs(text, stderr);
    }
  }

  bool Print = false;
};
vtkStandardNewMacro(vtkFuzzOutputWindow);

// A directory only this process can enter; its files are created exclusively for each input
// and removed after it.
std::string& Directory()
{
  static std::string directory;
  return directory;
}

void RemoveDirectory()
{
  ::rmdir(Directory().c_str());
}

void CreateDirectory()
{
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz-models-XXXXXX";
  fuzzinput::Check(::mkdtemp(&pattern[0]) != nullptr, "cannot create a private directory");
  Directory() = pattern;
  std::atexit(&RemoveDirectory);
}

void WriteNewFile(const std::string& path, const uint8_t* data, size_t size)
{
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
  fuzzinput::Check(fd >= 0, "cannot create the input file");
  size_t done = 0;
  while (done < size)
  {
    const ssize_t n = ::write(fd, data + done, size - done);
    fuzzinput::Check(n > 0, "cannot write the input file");
    done += static_cast<size_t>(n);
  }
  fuzzinput::Check(::close(fd) == 0, "cannot close the input file");
}

// Inputs per format and variant (text, binary) read: how many, and how many of them were
// accepted.
struct Tally
{
  std::array<std::array<long long, 2>, FuzzModelFormat::Count> Inputs{};
  std::array<std::array<long long, 2>, FuzzModelFormat::Count> Accepted{};
  int Forced = -1; // the format every input is read as, or -1
};

Tally& Tallies()
{
  static Tally tally;
  return tally;
}

void PrintTallies()
{
  const Tally& t = Tallies();
  std::fprintf(stderr, "fuzz_model_file inputs per format:");
  for (int f = 0; f < FuzzModelFormat::Count; ++f)
  {
    const auto format = static_cast<ModelFormat>(f);
    const char* name = FuzzModelFormat::Extension(format) + 1;
    if (format == ModelFormat::Obj)
    {
      std::fprintf(stderr, " %s %lld (%lld read)", name, t.Inputs[f][0], t.Accepted[f][0]);
      continue;
    }
    std::fprintf(stderr, " %s text %lld (%lld read), %s binary %lld (%lld read);", name,
      t.Inputs[f][0], t.Accepted[f][0], name, t.Inputs[f][1], t.Accepted[f][1]);
  }
  std::fprintf(stderr, "\n");
}

struct Counts
{
  vtkIdType Points = 0;
  vtkIdType Cells = 0;
};

// The triangles a writer makes of polygons or strips: n - 2 of a cell of n points.
vtkIdType Triangles(vtkCellArray* cells)
{
  vtkIdType triangles = 0;
  for (vtkIdType c = 0; c < cells->GetNumberOfCells(); ++c)
  {
    triangles += cells->GetCellSize(c) - 2;
  }
  return triangles;
}

// What a file of the format keeps of the model's points and cells: legacy and XML files
// everything; PLY the points and the polygons (strips are not written); OBJ the points, the
// lines and polygons, and strips as triangles (vertex cells are not written); STL the triangles,
// which its reader merges at coincident corners (so the points are only known read without merging:
// three per triangle).
Counts Kept(vtkPolyData* model, ModelFormat format)
{
  Counts kept{ model->GetNumberOfPoints(), model->GetNumberOfCells() };
  switch (format)
  {
    case ModelFormat::LegacyVtk:
    case ModelFormat::XmlPolyData:
      break;
    case ModelFormat::Ply:
      kept.Cells = model->GetNumberOfPolys();
      break;
    case ModelFormat::Obj:
      kept.Cells = model->GetNumberOfVerts() + model->GetNumberOfLines() +
        model->GetNumberOfPolys() + Triangles(model->GetStrips());
      break;
    case ModelFormat::Stl:
      kept.Cells = Triangles(model->GetPolys()) + Triangles(model->GetStrips());
      kept.Points = 3 * kept.Cells;
      break;
  }
  return kept;
}

// The number of triangles a binary STL file announces (bytes 80 to 83, little-endian).
vtkIdType StlCount(const std::string& path)
{
  unsigned char head[84] = {};
  std::FILE* file = std::fopen(path.c_str(), "rb");
  fuzzinput::Check(file && std::fread(head, 1, 84, file) == 84, "a written STL file is too short");
  std::fclose(file);
  return static_cast<vtkIdType>(
    head[80] | head[81] << 8 | head[82] << 16 | static_cast<uint32_t>(head[83]) << 24);
}

// An STL file read by VTK's reader without merging corners: three points per triangle.
Counts StlAsWritten(const std::string& path)
{
  vtkNew<vtkSTLReader> reader;
  reader->SetFileName(path.c_str());
  reader->MergingOff();
  reader->Update();
  vtkPolyData* out = reader->GetOutput();
  return Counts{ out->GetNumberOfPoints(), out->GetNumberOfCells() };
}

void CheckAccepted(vtkPolyData* model)
{
  fuzzinput::Check(model->GetNumberOfPoints() > 0, "an accepted model without points");
  for (vtkIdType i = 0; i < model->GetNumberOfPoints(); ++i)
  {
    double p[3];
    model->GetPoint(i, p);
    fuzzinput::Check(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]),
      "an accepted point that is not finite");
  }
  std::string why;
  fuzzinput::Check(CheckModelCells(model, why), "accepted cells that name missing points");
  // Filters read an array of point (cell) data at every point (cell).
  for (vtkDataSetAttributes* data : { static_cast<vtkDataSetAttributes*>(model->GetPointData()),
         static_cast<vtkDataSetAttributes*>(model->GetCellData()) })
  {
    const vtkIdType tuples =
      data == model->GetPointData() ? model->GetNumberOfPoints() : model->GetNumberOfCells();
    for (int i = 0; i < data->GetNumberOfArrays(); ++i)
    {
      fuzzinput::Check(data->GetAbstractArray(i)->GetNumberOfTuples() == tuples,
        "an accepted model has an array of another length than its points or cells");
    }
  }
}

// STL and PLY hold single-precision coordinates.
bool FloatCoordinates(vtkPolyData* model)
{
  double bounds[6]; // of every point, used by a cell or not
  model->GetPoints()->GetBounds(bounds);
  for (double b : bounds)
  {
    if (std::fabs(b) > std::numeric_limits<float>::max())
    {
      return false;
    }
  }
  return true;
}

// Moved a little, as pravik-warp moves a model, written to the format and read back.
void CheckRoundTrip(vtkPolyData* model, ModelFormat format)
{
  vtkNew<vtkTransform> move;
  move->Translate(0.5, -0.25, 0.125);
  vtkNew<vtkTransformPolyDataFilter> filter;
  filter->SetTransform(move);
  filter->SetInputData(model);
  filter->Update();
  vtkPolyData* moved = filter->GetOutput();

  const std::string path = Directory() + "/out" + FuzzModelFormat::Extension(format);
  std::string reason;
  const bool written = WriteModelFile(moved, path, reason);
  if ((format == ModelFormat::Stl || format == ModelFormat::Ply) && !FloatCoordinates(moved))
  {
    fuzzinput::Check(!written && !reason.empty(),
      "coordinates beyond single precision were written to STL or PLY");
    return;
  }
  if (!written)
  {
    std::fprintf(
      stderr, "%s not written: %s\n", FuzzModelFormat::Extension(format), reason.c_str());
    fuzzinput::Check(false, "an accepted model could not be written");
  }
  Counts kept = Kept(moved, format);
  if (format == ModelFormat::Stl)
  {
    // The writer splits a polygon by its shape and leaves out what does not split into
    // triangles (a polygon whose corners coincide or lie on a line): at most n - 2 each. The
    // file must hold what its header announces, three corners a triangle.
    const Counts raw = StlAsWritten(path);
    if (raw.Cells > kept.Cells || raw.Points != 3 * raw.Cells || raw.Cells != StlCount(path))
    {
      std::fprintf(stderr, "stl: at most %lld triangles, %lld announced, %lld read\n",
        static_cast<long long>(kept.Cells), static_cast<long long>(StlCount(path)),
        static_cast<long long>(raw.Cells));
      fuzzinput::Check(false, "an STL file written does not hold the triangles it announces");
    }
    kept = raw;
  }
  vtkSmartPointer<vtkPolyData> back = ReadModelFile(path, reason);
  if (kept.Points == 0)
  {
    ::unlink(path.c_str());
    return;
  }
  if (!back)
  {
    std::fprintf(stderr, "%s refused: %s\n", FuzzModelFormat::Extension(format), reason.c_str());
  }
  fuzzinput::Check(back != nullptr, "a written model is refused when read back");
  const Counts read{ back->GetNumberOfPoints(), back->GetNumberOfCells() };
  // The STL reader merges coincident corners and drops the triangles that merging collapses.
  const bool fewer = format == ModelFormat::Stl;
  if (fewer ? read.Points > kept.Points || read.Cells > kept.Cells
            : read.Points != kept.Points || read.Cells != kept.Cells)
  {
    std::fprintf(stderr, "%s: written %lld points and %lld cells, read %lld and %lld\n",
      FuzzModelFormat::Extension(format), static_cast<long long>(kept.Points),
      static_cast<long long>(kept.Cells), static_cast<long long>(read.Points),
      static_cast<long long>(read.Cells));
    fuzzinput::Check(false, "a written model reads back with other points or cells");
  }
  ::unlink(path.c_str());
}
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  // The programs never switch VTK's reporting off, and neither does this.
  fuzzinput::Check(vtkObject::GetGlobalWarningDisplay() != 0, "VTK's reporting is off");
  const char* print = std::getenv("QUORVEL_FUZZ_VTK_MESSAGES");
  vtkNew<vtkFuzzOutputWindow> window;
  window->Print = print && *print == '1';
  vtkOutputWindow::SetInstance(window);
  if (!window->Print)
  {
    vtkLogger::SetStderrVerbosity(vtkLogger::VERBOSITY_OFF);
  }
  // One thread: coverage that depends on scheduling would mislead the fuzzer.
  vtkSMPTools::Initialize(1);

  const char* forced = std::getenv("QUORVEL_FUZZ_MODEL_FORMAT");
  for (int f = 0; f < FuzzModelFormat::Count; ++f)
  {
    const auto format = static_cast<ModelFormat>(f);
    const char* extension = FuzzModelFormat::Extension(format);
    fuzzinput::Check(ModelFormatOf(std::string("x") + extension) == format,
      "the format byte's extensions do not match ModelFormatOf");
    if (forced && std::string(".") + forced == extension)
    {
      Tallies().Forced = f;
    }
  }
  fuzzinput::Check(!forced || !*forced || Tallies().Forced >= 0,
    "QUORVEL_FUZZ_MODEL_FORMAT names no model format");
  CreateDirectory();
  std::atexit(&PrintTallies);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size == 0)
  {
    return 0;
  }
  FuzzModelFormat format = FuzzModelFormat::FromByte(data[0]);
  Tally& tally = Tallies();
  if (tally.Forced >= 0)
  {
    format.In = static_cast<ModelFormat>(tally.Forced);
  }
  const int f = FuzzModelFormat::Index(format.In);
  const int binary = FuzzModelFormat::IsBinary(format.In, data + 1, size - 1) ? 1 : 0;
  ++tally.Inputs[f][binary];
  const std::string path = Directory() + "/in" + FuzzModelFormat::Extension(format.In);
  WriteNewFile(path, data + 1, size - 1);
  std::string reason;
  vtkSmartPointer<vtkPolyData> model = ReadModelFile(path, reason);
  ::unlink(path.c_str());
  if (!model)
  {
    fuzzinput::Check(!reason.empty(), "a refusal without a reason");
    return 0;
  }
  ++tally.Accepted[f][binary];
  CheckAccepted(model);
  CheckRoundTrip(model, format.In);
  if (format.Out != format.In)
  {
    CheckRoundTrip(model, format.Out);
  }
  return 0;
}
