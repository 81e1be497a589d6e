// Point lists for pravik-warp: points that are not part of a mesh (muscle attachments,
// markers) as text, three numbers a line.
#ifndef PointList_h
#define PointList_h

#include <vtkDoubleArray.h>
#include <vtkSmartPointer.h>

#include <string>

/**
 * A point list as read: the points (three components, double precision), the separator of
 * the lines (',' or ' ') and the header line, if the file had one (without its line end).
 */
struct PointList
{
  vtkSmartPointer<vtkDoubleArray> Points;
  char Separator = ' ';
  std::string Header;
};

/// Whether the path names a point list (.txt, .csv or .xyz, any case) rather than a model.
bool IsPointListPath(const std::string& path);

/**
 * Reads a point list: three numbers a line, separated by blanks (spaces or tabs) or by commas
 * (with blanks around them or not); blank lines are passed over; a first line that holds no
 * number at all is the header. Numbers are decimal (the same in every locale) and finite.
 * Returns false with the reason (the line number and what is wrong) when a line does not hold
 * three numbers, mixes separators, or the file holds no point.
 */
bool ReadPointList(const std::string& path, PointList& list, std::string& reason);

/**
 * Writes points in the layout of a list that was read: its header line, then one line a
 * point, the numbers separated as in that list and written so that they read back as the same
 * doubles. The file replaces path only when it is written whole (a new file created beside it,
 * then renamed over it); on failure path is as it was and reason says why.
 */
bool WritePointList(
  const std::string& path, const PointList& layout, vtkDoubleArray* points, std::string& reason);

#endif
