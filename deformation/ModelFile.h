/**
 * @file ModelFile.h
 * @brief Reading, checking and writing surface models in the common mesh formats.
 *
 * The format is chosen by the file name's extension (any case):
 *
 * | extension | format                                  | read by / written by                   |
 * |-----------|-----------------------------------------|----------------------------------------|
 * | .vtp      | VTK XML polygonal data                  | vtkXMLPolyDataReader / Writer           |
 * | .stl      | stereolithography, ASCII or binary      | vtkSTLReader / vtkSTLWriter (binary)    |
 * | .ply      | Stanford polygon file, ASCII or binary  | vtkPLYReader / vtkPLYWriter (binary)    |
 * | .obj      | Wavefront OBJ                           | vtkOBJReader / vtkOBJWriter             |
 * | other     | VTK legacy polygonal data (".vtk")      | vtkPolyDataReader / Writer (ASCII)      |
 *
 * What each written format keeps: ".vtk" and ".vtp" every point and cell array; ".ply" the
 * points, polygons, texture coordinates and unsigned-char colours; ".obj" the points,
 * polygons, normals and texture coordinates; ".stl" the triangles only (polygons are split
 * into triangles, and a reader merges the corners that coincide).
 *
 * A file from a user's disk is not trusted. Before VTK's reader runs, every count that the
 * file announces (points, cells, elements, triangles, the bytes of binary blocks) is checked
 * against the file's size, so that a file of a few bytes cannot make the reader allocate
 * gigabytes; PLY and OBJ files are walked whole (VTK's readers of these go out of range on a
 * list that runs past the end, a face naming a missing vertex or a damaged number); a file
 * that holds another kind of data set (an unstructured grid, an image, ...) is refused,
 * saying what it holds. Any error or warning of the reader refuses the file, and so do, afterwards, cells
 * that name points the model does not have, cell lists that are inconsistent, a model without
 * points and coordinates that are not finite numbers.
 */
#ifndef ModelFile_h
#define ModelFile_h

#include <vtkSmartPointer.h>

#include <string>

class vtkPolyData;

enum class ModelFormat
{
  LegacyVtk,
  XmlPolyData,
  Stl,
  Ply,
  Obj
};

/// The format of a file name by its extension; a name without one of the known extensions
/// is legacy VTK (as ".vtk" files are).
ModelFormat ModelFormatOf(const std::string& path);

/**
 * Reads a surface model and checks it (see the file comment). Returns the model, or null
 * with reason set to a sentence that says why the file is refused (without the file name).
 * Runs a VTK pipeline update on the calling thread and, while it does, collects the messages
 * VTK prints (see CheckedUpdate), so it must not run concurrently with another pipeline.
 */
vtkSmartPointer<vtkPolyData> ReadModelFile(const std::string& path, std::string& reason);

/**
 * Writes the model in the format of path's extension, through ReplaceFile: the file is
 * written under a new name beside path and takes its place only once it is complete, so
 * that a failure leaves neither a partial file nor a damaged earlier one; through a symbolic
 * link the link's file is replaced and the link stays; a replaced file keeps its
 * permissions. Arrays whose number of
 * tuples does not match the model's points or cells are not written (a writer would write a
 * file that no reader accepts). Returns false with reason set when nothing was written.
 */
bool WriteModelFile(vtkPolyData* model, const std::string& path, std::string& reason);

#endif
