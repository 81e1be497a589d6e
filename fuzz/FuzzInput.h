// Hands a fuzz input to readers that take a FILE* or a path: the bytes live in one
// memory-backed file per process, which a reader sees exactly as a file on disk.
#ifndef FuzzInput_h
#define FuzzInput_h

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace fuzzinput
{
/// Replaces the contents of this process's input file with the given bytes.
void Store(const uint8_t* data, size_t size);

/// The input file as a path that fopen() accepts (/proc/self/fd/N).
const std::string& Path();

/// A fresh stream on the input file, positioned at its start; the caller closes it.
std::FILE* Open();

/// A second memory-backed file for what the code under test writes; empty after the call.
/// Returns its path.
const std::string& ScratchPath();

/// Aborts with the message when the condition does not hold: libFuzzer keeps the input.
void Check(bool condition, const char* what);

/// Sends standard output to /dev/null: the programs under test print their refusals there.
void SilenceStandardOutput();
}

#endif
