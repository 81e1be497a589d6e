// The first byte of a fuzz_model_file input: which format the rest is read as (its value
// modulo 5) and which format the model read from it is written back to (the value divided
// by 5, modulo 5). Every byte value means a pair, so a mutation of the byte is always a
// valid choice.
#ifndef FuzzModelFormat_h
#define FuzzModelFormat_h

#include "ModelFile.h"

#include <cstdint>

struct FuzzModelFormat
{
  static constexpr int Count = 5;

  ModelFormat In = ModelFormat::LegacyVtk;
  ModelFormat Out = ModelFormat::LegacyVtk;

  static FuzzModelFormat FromByte(uint8_t byte)
  {
    return FuzzModelFormat{ static_cast<ModelFormat>(byte % Count),
      static_cast<ModelFormat>(byte / Count % Count) };
  }

  uint8_t Byte() const { return static_cast<uint8_t>(Index(this->In) + Count * Index(this->Out)); }

  static int Index(ModelFormat format) { return static_cast<int>(format); }

  /// The extension ModelFormatOf maps to the format.
  static const char* Extension(ModelFormat format)
  {
    const char* const extensions[Count] = { ".vtk", ".vtp", ".stl", ".ply", ".obj" };
    return extensions[Index(format)];
  }
};

#endif
