#include "DocHarness.h"
#include "PravikProcess.h"

#include <QApplication>

#include <vtkImageData.h>
#include <vtkPNGWriter.h>
#include <vtkPointData.h>
#include <vtkWindowToImageFilter.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace dochar
{
namespace
{
// The fitted coefficient file lives as long as the test program.
struct FittedSample
{
  TempDir Dir{ "halden-doc-fit-" };
  std::string Trc =
    pravikprocess::FitCopy(QUORVEL_PRAVIK, SampleLandmarks(), this->Dir.Get(), "0.25");
};
}

//------------------------------------------------------------------------------
QApplication& App()
{
  return guitest::App("doc_tests");
}

std::string SampleModel()
{
  return std::string(QUORVEL_TEST_DATA_DIR) + "/leg.vtk";
}
std::string SampleLandmarks()
{
  return std::string(QUORVEL_TEST_DATA_DIR) + "/leg.dat";
}
std::string SampleTexture()
{
  return std::string(QUORVEL_TEST_DATA_DIR) + "/leg.bmp";
}

std::string SampleTransform()
{
  static FittedSample fitted;
  return fitted.Trc;
}

//------------------------------------------------------------------------------
bool Spline::Read(const std::string& path)
{
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f)
  {
    return false;
  }
  bool ok = true;
  float radius = 0;
  int n = 0, m = 0, k = 0;
  ok = ok && std::fscanf(f, "[%f]\n", &radius) == 1;
  ok = ok && std::fscanf(f, "[%d]\n", &n) == 1 && n >= 0;
  this->Radius = radius;
  for (int i = 0; ok && i < n; ++i)
  {
    float p[3];
    ok = std::fscanf(f, "%f %f %f\n", p, p + 1, p + 2) == 3;
    this->Points.insert(this->Points.end(), { p[0], p[1], p[2] });
  }
  ok = ok && std::fscanf(f, "[%d]\n", &m) == 1 && m == n + 4;
  for (int i = 0; ok && i < m; ++i)
  {
    float c[3];
    ok = std::fscanf(f, "%f %f %f\n", c, c + 1, c + 2) == 3;
    for (int a = 0; a < 3; ++a)
    {
      this->Coeff[a].push_back(c[a]);
    }
  }
  ok = ok && std::fscanf(f, "[%d]\n", &k) == 1 && k == n;
  for (int i = 0; ok && i < k; ++i)
  {
    int u = 0;
    ok = std::fscanf(f, "%d\n", &u) == 1;
    this->UnList.push_back(u);
  }
  std::fclose(f);
  return ok;
}

void Spline::Displacement(const double x[3], double d[3]) const
{
  const std::size_t n = this->UnList.size();
  bool nearAny = false;
  double sums[3] = { 0, 0, 0 };
  for (std::size_t i = 0; i < n; ++i)
  {
    const double* p = &this->Points[3 * i];
    const double r = std::sqrt((p[0] - x[0]) * (p[0] - x[0]) + (p[1] - x[1]) * (p[1] - x[1]) +
      (p[2] - x[2]) * (p[2] - x[2]));
    if (r <= this->Radius)
    {
      nearAny = true;
      const double w = (1 - r / this->Radius) * (1 - r / this->Radius);
      for (int a = 0; a < 3; ++a)
      {
        sums[a] += w * this->Coeff[a][this->UnList[i]];
      }
    }
  }
  for (int a = 0; a < 3; ++a)
  {
    const std::vector<double>& c = this->Coeff[a];
    d[a] = nearAny ? sums[a] + c[n] + c[n + 1] * x[0] + c[n + 2] * x[1] + c[n + 3] * x[2] : 0.0;
  }
}

//------------------------------------------------------------------------------
vtkSmartPointer<vtkPolyData> ReadPolyData(const std::string& path)
{
  vtkNew<vtkPolyDataReader> reader;
  reader->SetFileName(path.c_str());
  reader->Update();
  vtkSmartPointer<vtkPolyData> data = reader->GetOutput();
  return data;
}

void WriteStripModel(const std::string& path, double scalar, int quads)
{
  std::ofstream out(path);
  out << "# vtk DataFile Version 3.0\nstrip\nASCII\nDATASET POLYDATA\n";
  out << "POINTS " << 2 * (quads + 1) << " float\n";
  for (int i = 0; i <= quads; ++i)
  {
    out << i * 0.1 - 1.0 << " -0.3 0\n" << i * 0.1 - 1.0 << " 0.3 0\n";
  }
  out << "POLYGONS " << 2 * quads << " " << 8 * quads << "\n";
  for (int i = 0; i < quads; ++i)
  {
    const int a = 2 * i;
    out << "3 " << a << " " << a + 2 << " " << a + 1 << "\n";
    out << "3 " << a + 1 << " " << a + 2 << " " << a + 3 << "\n";
  }
  out << "CELL_DATA " << 2 * quads << "\nSCALARS region float\nLOOKUP_TABLE default\n";
  for (int i = 0; i < 2 * quads; ++i)
  {
    out << scalar << "\n";
  }
}

//------------------------------------------------------------------------------
DocViewer::DocViewer()
{
  App();
  this->Application.reset(new CWinApp("HaldenDocTests"));
  this->Application->SetRegistryKey("QuorvelTests");
  this->Application->LoadStdProfileSettings(10);
  this->Open(true);
}

DocViewer::~DocViewer()
{
  this->Close();
  this->Application.reset();
}

std::vector<unsigned char> DocViewer::Picture(int& width, int& height)
{
  // As the view saves its frames: render, then read the picture just drawn.
  vtkNew<vtkWindowToImageFilter> grab;
  grab->SetInput(this->View->GetRenderWindow());
  grab->SetInputBufferTypeToRGB();
  grab->Update();
  vtkImageData* image = grab->GetOutput();
  int dims[3];
  image->GetDimensions(dims);
  width = dims[0];
  height = dims[1];
  auto* pixels = static_cast<unsigned char*>(image->GetScalarPointer());
  return std::vector<unsigned char>(pixels, pixels + 3 * width * height);
}

long DocViewer::ModelPixels()
{
  int w = 0, h = 0;
  const std::vector<unsigned char> picture = this->Picture(w, h);
  const float* bg = this->View->GetBackgroundColor();
  long count = 0;
  for (int i = 0; i < w * h; ++i)
  {
    for (int c = 0; c < 3; ++c)
    {
      if (std::abs(picture[3 * i + c] - static_cast<int>(bg[c] * 255.0f + 0.5f)) > 3)
      {
        ++count;
        break;
      }
    }
  }
  return count;
}

void DocViewer::OpenModel(CScriptedPrompts& prompts, const std::string& path)
{
  prompts.AnswerFile(path);
  this->Frame->ExecuteCommand(ID_FILE_OPEN);
}

double MaxDistance(vtkPoints* a, vtkPoints* b)
{
  double worst = 0;
  for (vtkIdType i = 0; i < a->GetNumberOfPoints(); ++i)
  {
    double p[3], q[3];
    a->GetPoint(i, p);
    b->GetPoint(i, q);
    worst = std::max(worst,
      std::sqrt((p[0] - q[0]) * (p[0] - q[0]) + (p[1] - q[1]) * (p[1] - q[1]) +
        (p[2] - q[2]) * (p[2] - q[2])));
  }
  return worst;
}
}
namespace dochar
{
void SavePicture(DocViewer& viewer, const std::string& path)
{
  int w = 0, h = 0;
  const std::vector<unsigned char> rgb = viewer.Picture(w, h);
  vtkNew<vtkImageData> image;
  image->SetDimensions(w, h, 1);
  image->AllocateScalars(VTK_UNSIGNED_CHAR, 3);
  std::copy(rgb.begin(), rgb.end(), static_cast<unsigned char*>(image->GetScalarPointer()));
  vtkNew<vtkPNGWriter> writer;
  writer->SetInputData(image);
  writer->SetFileName(path.c_str());
  writer->Write();
}
}
