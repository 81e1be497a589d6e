#ifndef RewrittenIds_h
#define RewrittenIds_h

#include "vtkType.h"

#include <vector>

class vtkDataArray;
class vtkInformationIdTypeKey;
class vtkInformationObjectBaseKey;

/**
 * A note, kept in the information of a cell array's connectivity, of which entries its last
 * modification rewrote in place, so that a filter downstream that saw the array before can
 * follow the change without reading it all again.
 *
 * The note names the array's modification time before and after the rewrite: it is believed
 * only by a reader that saw the same array at the earlier time and finds it now at the later
 * one. Any other modification (one that leaves no note, or a second rewrite the reader did
 * not see) changes the time, and the reader then reads the array whole.
 *
 * Layout of the entries: position, previous id, position, previous id, ... (positions into
 * the connectivity, each once, in no particular order; the new id is the array's value there).
 */
class RewrittenIds
{
public:
  /**
   * Marks ids modified and notes that the modification rewrote the given entries (pairs of
   * position and previous id) and nothing else since the array's time before.
   */
  static void Record(vtkDataArray* ids, const std::vector<vtkIdType>& entries);

  /**
   * The entries rewritten since the reader saw ids at time `seen`, when the note covers
   * exactly that: from `seen` to the array's present time. False otherwise (the reader must
   * then read the array whole).
   */
  static bool Since(vtkDataArray* ids, vtkMTimeType seen, std::vector<vtkIdType>& entries);

  static vtkInformationIdTypeKey* BEFORE();
  static vtkInformationIdTypeKey* AFTER();
  static vtkInformationObjectBaseKey* ENTRIES(); // a vtkIdTypeArray
};

#endif
