/**
 * @class LandmarkPairs
 * @brief The document's landmarks: pairs of a source position and a target position.
 *
 * Pair i is the i-th point of GetSources() and the i-th point of GetTargets(), in the order of
 * the landmark file. Both point sets are double precision, never null, and hold the same
 * number of points (none before the first file). ReadFile() reads a landmark file with the
 * fitting tool's reader and rules (vtkDatReader): lines that hold no landmark are skipped, and
 * a file without a single landmark is refused, as is one that cannot be read; a refused file
 * leaves the pairs as they were.
 *
 * Every change bumps a counter (GetMTime) so that displays and fits can tell whether what they
 * built from the pairs is still current.
 */
#ifndef LandmarkPairs_h
#define LandmarkPairs_h

#include <vtkSmartPointer.h>
#include <vtkType.h>

#include <string>

class vtkPoints;

class LandmarkPairs
{
public:
  LandmarkPairs();
  ~LandmarkPairs();
  LandmarkPairs(const LandmarkPairs&) = delete;
  LandmarkPairs& operator=(const LandmarkPairs&) = delete;

  ///@{
  /// The source and target positions, one point per pair (double precision, never null).
  vtkPoints* GetSources() const { return this->Sources; }
  vtkPoints* GetTargets() const { return this->Targets; }
  ///@}
  /// The number of pairs.
  vtkIdType GetCount() const;

  /**
   * Replaces the pairs by the landmarks of the file at path. Returns false, with the reason in
   * reason (when given: a sentence without its closing stop), and leaves the pairs unchanged
   * when the file cannot be read, holds a value that is not a finite number, or holds no
   * landmark at all.
   */
  bool ReadFile(const std::string& path, std::string* reason);
  /// Removes every pair.
  void Clear();

  ///@{
  /// A counter bumped by every change of the pairs (call Modified after changing the points
  /// directly).
  void Modified();
  vtkMTimeType GetMTime() const { return this->MTime; }
  ///@}

private:
  vtkSmartPointer<vtkPoints> Sources;
  vtkSmartPointer<vtkPoints> Targets;
  vtkMTimeType MTime = 0;
};

#endif
