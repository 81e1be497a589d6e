// The first byte of a fuzz_model_file input: which format the rest is read as (its value
// modulo 5) and which format the model read from it is written back to (the value divided
// by 5, modulo 5). Every byte value means a pair, so a mutation of the byte is always a
// valid choice.
#ifndef FuzzModelFormat_h
#define FuzzModelFormat_h

#include "ModelFile.h"

#include <cstddef>
#include <cstdint>
#include <string>

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

  /// Whether a file of the format is in its binary variant, judged by its head as a reader
  /// would first see it (legacy: a BINARY line; XML: binary or appended data; STL: bytes
  /// that are not text in its first 256; PLY: a binary format line). OBJ files are text only. Only
  /// for counting what a run tried: ReadModelFile decides for itself.
  static bool IsBinary(ModelFormat format, const uint8_t* data, size_t size)
  {
    const std::string head(reinterpret_cast<const char*>(data), size < 1024 ? size : 1024);
    switch (format)
    {
      case ModelFormat::LegacyVtk:
        return head.find("\nBINARY") != std::string::npos;
      case ModelFormat::XmlPolyData:
        return head.find("format=\"binary\"") != std::string::npos ||
          head.find("format=\"appended\"") != std::string::npos;
      case ModelFormat::Stl:
      {
        // VTK's rule: 5% or more of the first 256 bytes neither printable nor white space.
        const size_t n = size < 256 ? size : 256;
        size_t other = 0;
        for (size_t i = 0; i < n; ++i)
        {
          const uint8_t c = data[i];
          other += (c >= 0x20 && c <= 0x7f) || c == '\n' || c == '\r' || c == '\t' ? 0 : 1;
        }
        return 20 * other >= n;
      }
      case ModelFormat::Ply:
        return head.find("format binary") != std::string::npos;
      case ModelFormat::Obj:
        break;
    }
    return false;
  }
};

#endif
