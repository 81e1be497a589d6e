// The seeds of fuzz_model_file: one small model, as users' models are (uneven spacing, some
// noise, far from the origin, every kind of cell, point and cell data), written by VTK's own
// writers in every format and variant that ReadModelFile reads: legacy ASCII and binary, XML
// inline ASCII, inline base64, appended raw and appended zlib, STL ASCII and binary, PLY ASCII
// and binary in both byte orders, OBJ with and without texture coordinates and normals. Each
// seed starts with the fuzz target's format byte (see FuzzModelFile.cxx).
#include "ModelSeeds.h"

#include "FuzzModelFormat.h"

#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkFloatArray.h>
#include <vtkIntArray.h>
#include <vtkNew.h>
#include <vtkOBJWriter.h>
#include <vtkPLYWriter.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataWriter.h>
#include <vtkSTLWriter.h>
#include <vtkSmartPointer.h>
#include <vtkUnsignedCharArray.h>
#include <vtkXMLPolyDataWriter.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace
{
// A 4 x 3 patch of a bent sheet 5000 units from the origin, with rows spaced unevenly and a
// little noise; triangles, a quad, a triangle strip, a line and a vertex.
vtkSmartPointer<vtkPolyData> SeedModel(bool withNormals)
{
  vtkNew<vtkPoints> points;
  points->SetDataTypeToDouble();
  vtkNew<vtkFloatArray> warmth;
  warmth->SetName("warmth");
  vtkNew<vtkFloatArray> uv;
  uv->SetName("uv");
  uv->SetNumberOfComponents(2);
  vtkNew<vtkFloatArray> normals;
  normals->SetName("Normals");
  normals->SetNumberOfComponents(3);
  vtkNew<vtkUnsignedCharArray> colours;
  colours->SetName("RGB");
  colours->SetNumberOfComponents(3);
  const double rows[] = { 0.0, 0.13, 0.61 };
  unsigned int noise = 7u;
  for (int j = 0; j < 3; ++j)
  {
    for (int i = 0; i < 4; ++i)
    {
      noise = noise * 1103515245u + 12345u;
      const double jitter = 1e-3 * static_cast<double>((noise >> 16) % 100);
      const double a = 0.4 * i * i;
      points->InsertNextPoint(5000.0 + std::cos(a), -1200.0 + rows[j], 75.0 + std::sin(a) + jitter);
      warmth->InsertNextValue(static_cast<float>(i * 0.5 - j));
      uv->InsertNextTuple2(i / 3.0, rows[j] / 0.61);
      normals->InsertNextTuple3(std::cos(a), 0.0, std::sin(a));
      colours->InsertNextTuple3(40 * i, 90 * j, 200);
    }
  }
  vtkNew<vtkCellArray> polys;
  const vtkIdType t1[3] = { 0, 1, 5 };
  const vtkIdType t2[3] = { 0, 5, 4 };
  const vtkIdType quad[4] = { 1, 2, 6, 5 };
  polys->InsertNextCell(3, t1);
  polys->InsertNextCell(3, t2);
  polys->InsertNextCell(4, quad);
  vtkNew<vtkCellArray> strips;
  const vtkIdType strip[6] = { 4, 8, 5, 9, 6, 10 };
  strips->InsertNextCell(6, strip);
  vtkNew<vtkCellArray> lines;
  const vtkIdType line[3] = { 3, 7, 11 };
  lines->InsertNextCell(3, line);
  vtkNew<vtkCellArray> verts;
  const vtkIdType vertex[1] = { 2 };
  verts->InsertNextCell(1, vertex);

  auto model = vtkSmartPointer<vtkPolyData>::New();
  model->SetPoints(points);
  model->SetVerts(verts);
  model->SetLines(lines);
  model->SetPolys(polys);
  model->SetStrips(strips);
  model->GetPointData()->SetScalars(warmth);
  model->GetPointData()->SetTCoords(uv);
  model->GetPointData()->AddArray(colours);
  if (withNormals)
  {
    model->GetPointData()->SetNormals(normals);
  }
  vtkNew<vtkIntArray> region;
  region->SetName("region");
  for (vtkIdType c = 0; c < model->GetNumberOfCells(); ++c)
  {
    region->InsertNextValue(c % 2);
  }
  model->GetCellData()->SetScalars(region);
  return model;
}

// Only triangles: what an STL file holds.
vtkSmartPointer<vtkPolyData> Triangles()
{
  auto model = vtkSmartPointer<vtkPolyData>::New();
  vtkSmartPointer<vtkPolyData> all = SeedModel(false);
  model->SetPoints(all->GetPoints());
  model->SetPolys(all->GetPolys());
  return model;
}

std::string Slurp(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

bool Keep(const std::string& directory, const std::string& name, FuzzModelFormat format,
  const std::string& scratch)
{
  const std::string bytes = Slurp(scratch);
  std::remove(scratch.c_str());
  if (bytes.empty())
  {
    std::fprintf(stderr, "make_model_seeds: nothing was written for %s\n", name.c_str());
    return false;
  }
  std::ofstream out(directory + "/" + name, std::ios::binary | std::ios::trunc);
  out.put(static_cast<char>(format.Byte()));
  out << bytes;
  out.close();
  return static_cast<bool>(out);
}
}

//------------------------------------------------------------------------------
bool WriteModelSeeds(const std::string& dir)
{
  // Some writers add their extension to a name without it.
  auto scratchFor = [&dir](ModelFormat f)
  { return dir + "/.seed" + FuzzModelFormat::Extension(f); };
  bool ok = true;
  // Each seed writes its model back to a format of its own, so that every format is also the
  // target of a round trip from the start.
  auto format = [](ModelFormat in, ModelFormat out) { return FuzzModelFormat{ in, out }; };

  for (bool binary : { false, true })
  {
    const std::string scratch = scratchFor(ModelFormat::LegacyVtk);
    vtkNew<vtkPolyDataWriter> writer;
    writer->SetInputData(SeedModel(true));
    writer->SetFileName(scratch.c_str());
    binary ? writer->SetFileTypeToBinary() : writer->SetFileTypeToASCII();
    writer->Write();
    ok &= Keep(dir, binary ? "binary.vtk" : "ascii.vtk",
      format(ModelFormat::LegacyVtk, binary ? ModelFormat::Ply : ModelFormat::XmlPolyData),
      scratch);
  }

  struct XmlVariant
  {
    const char* Name;
    int Mode; // vtkXMLWriter::Ascii, Binary or Appended
    bool Encode;
    bool Compress;
    ModelFormat Out;
  };
  const XmlVariant xml[] = {
    { "ascii.vtp", vtkXMLWriter::Ascii, true, false, ModelFormat::LegacyVtk },
    { "base64.vtp", vtkXMLWriter::Binary, true, false, ModelFormat::Obj },
    { "raw.vtp", vtkXMLWriter::Appended, false, false, ModelFormat::Stl },
    { "zlib.vtp", vtkXMLWriter::Appended, true, true, ModelFormat::XmlPolyData },
  };
  for (const XmlVariant& v : xml)
  {
    const std::string scratch = scratchFor(ModelFormat::XmlPolyData);
    vtkNew<vtkXMLPolyDataWriter> writer;
    writer->SetInputData(SeedModel(true));
    writer->SetFileName(scratch.c_str());
    writer->SetDataMode(v.Mode);
    writer->SetEncodeAppendedData(v.Encode);
    v.Compress ? writer->SetCompressorTypeToZLib() : writer->SetCompressorTypeToNone();
    writer->Write();
    ok &= Keep(dir, v.Name, format(ModelFormat::XmlPolyData, v.Out), scratch);
  }

  for (bool binary : { false, true })
  {
    const std::string scratch = scratchFor(ModelFormat::Stl);
    vtkNew<vtkSTLWriter> writer;
    writer->SetInputData(Triangles());
    writer->SetFileName(scratch.c_str());
    binary ? writer->SetFileTypeToBinary() : writer->SetFileTypeToASCII();
    writer->Write();
    ok &= Keep(dir, binary ? "binary.stl" : "ascii.stl",
      format(ModelFormat::Stl, binary ? ModelFormat::Stl : ModelFormat::Ply), scratch);
  }

  struct PlyVariant
  {
    const char* Name;
    bool Binary;
    bool BigEndian;
    ModelFormat Out;
  };
  const PlyVariant ply[] = { { "ascii.ply", false, false, ModelFormat::Obj },
    { "little.ply", true, false, ModelFormat::LegacyVtk },
    { "big.ply", true, true, ModelFormat::Ply } };
  for (const PlyVariant& v : ply)
  {
    const std::string scratch = scratchFor(ModelFormat::Ply);
    vtkNew<vtkPLYWriter> writer;
    writer->SetInputData(SeedModel(false));
    writer->SetFileName(scratch.c_str());
    v.Binary ? writer->SetFileTypeToBinary() : writer->SetFileTypeToASCII();
    v.BigEndian ? writer->SetDataByteOrderToBigEndian() : writer->SetDataByteOrderToLittleEndian();
    writer->SetArrayName("RGB");
    writer->SetColorModeToDefault();
    writer->Write();
    ok &= Keep(dir, v.Name, format(ModelFormat::Ply, v.Out), scratch);
  }

  for (bool withNormals : { false, true })
  {
    const std::string scratch = scratchFor(ModelFormat::Obj);
    vtkNew<vtkOBJWriter> writer;
    writer->SetInputData(withNormals ? SeedModel(true) : Triangles());
    writer->SetFileName(scratch.c_str());
    writer->Write();
    ok &= Keep(dir, withNormals ? "normals.obj" : "plain.obj",
      format(ModelFormat::Obj, withNormals ? ModelFormat::Stl : ModelFormat::Obj), scratch);
  }
  return ok;
}
