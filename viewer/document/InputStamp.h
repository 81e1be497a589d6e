#ifndef InputStamp_h
#define InputStamp_h

#include "vtkObject.h"

/**
 * Which object an input array was and when it last changed. The display filters keep what
 * depends only on a model's cells, and compare stamps to know when to redo it; a new object
 * always has a later modification time than any earlier one, so a reused address is told
 * apart.
 */
struct InputStamp
{
  const void* Object = nullptr;
  vtkMTimeType Time = 0;

  static InputStamp Of(vtkObject* object) { return { object, object ? object->GetMTime() : 0 }; }
  bool operator==(const InputStamp& other) const
  {
    return this->Object == other.Object && this->Time == other.Time;
  }
  bool operator!=(const InputStamp& other) const { return !(*this == other); }
};

#endif
