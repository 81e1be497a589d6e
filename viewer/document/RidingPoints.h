/**
 * @class RidingPoints
 * @brief Points that ride along with the deformation without taking part in the fit
 * (muscle attachments, say): read from a point list, shown where the deformation in force
 * takes them at the blend shown, and written out from there.
 *
 * A point list holds three numbers a line (blanks or commas between them, an optional header
 * line), as pravik-warp reads it (PointList.h). The points are drawn as round dots of their
 * own colour on top of the model.
 */
#ifndef RidingPoints_h
#define RidingPoints_h

#include "PointList.h"

#include <string>

class vtkActor;
class vtkPolyData;
class vtkPointArrayTransformFilter;
class vtkShapeTransform;

class RidingPoints
{
public:
  RidingPoints();
  ~RidingPoints();
  RidingPoints(const RidingPoints&) = delete;
  RidingPoints& operator=(const RidingPoints&) = delete;

  /// Reads a point list; on failure (false, reason set) the points shown stay as they were.
  bool Load(const std::string& path, std::string& reason);
  /// Writes the points where they are shown now (see Follow), in the layout of the list
  /// read, replacing path safely. False with reason on failure.
  bool Save(const std::string& path, std::string& reason);
  /// Forgets the points.
  void Clear();
  /// How many points there are (0 before a load).
  vtkIdType GetCount() const;
  /// The file the points came from, empty when there are none.
  const std::string& GetFileName() const { return this->FileName; }

  /// The deformation that carries the points (at its Factor), or null to show them as read.
  void Follow(vtkShapeTransform* transform);
  /// The actor that shows the points (always the same object; empty before a load).
  vtkActor* GetActor() const { return this->Actor; }

private:
  PointList Layout;
  std::string FileName;
  vtkPolyData* Points;
  vtkPointArrayTransformFilter* Carry;
  vtkActor* Actor;
};

#endif
