// The seeds of fuzz_model_file: a small model written in every format and variant that
// ReadModelFile reads, each file starting with the fuzz target's format byte.
#ifndef ModelSeeds_h
#define ModelSeeds_h

#include <string>

/// Writes the seeds into the folder, which exists; false (with a line on standard error)
/// when a writer wrote nothing.
bool WriteModelSeeds(const std::string& directory);

#endif
