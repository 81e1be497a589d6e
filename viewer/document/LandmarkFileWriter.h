/**
 * @file LandmarkFileWriter.h
 * @brief Writes a landmark set as a landmark file: one pair a line, the source x, y, z then
 * the target x, y, z, separated by single spaces.
 *
 * The numbers are the single-precision values the set holds (see LandmarkEdits.h), each
 * written in the fewest digits that read back as exactly that value whatever the user's
 * locale, so the fitting tool's reader gets the set back bit for bit. The file is replaced
 * safely (ReplaceFile.h): a failed save leaves an earlier file of that name as it was.
 */
#ifndef LandmarkFileWriter_h
#define LandmarkFileWriter_h

#include <string>

class LandmarkPairs;

/// Writes pairs to path. False with reason (a sentence without the file's name) on failure.
bool WriteLandmarkFile(const LandmarkPairs& pairs, const std::string& path, std::string& reason);

#endif
