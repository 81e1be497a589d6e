/**
 * @file LandmarkEdits.h
 * @brief The four edits of a landmark set (add a pair, move a source, move a target, remove
 * a pair) and the rule that refuses coincident sources.
 *
 * Every edit stores its positions rounded to single precision, the precision of the
 * landmark file and of the fit: what is shown, fitted and saved is the same set, and a saved
 * file reads back bit for bit. Every edit bumps the set's change counter (Modified) once.
 *
 * An index names a pair by its place in the set, from 0; removing a pair moves the later
 * ones down by one, as the lines of the file would.
 */
#ifndef LandmarkEdits_h
#define LandmarkEdits_h

#include <vtkType.h>

class LandmarkPairs;

namespace LandmarkEdits
{
/// Rounds a position to the single precision the landmarks are kept in.
void RoundToStored(const double in[3], double out[3]);

/// Whether source (rounded as stored) coincides with the source of a pair other than
/// except (-1 for none): two such pairs give the fit no solution.
bool SourceCoincides(const LandmarkPairs& pairs, const double source[3], vtkIdType except = -1);

/// Puts a pair at index (0 to the count; the later pairs move up by one).
void InsertPair(
  LandmarkPairs& pairs, vtkIdType index, const double source[3], const double target[3]);
/// Appends a pair; returns its index.
vtkIdType AddPair(LandmarkPairs& pairs, const double source[3], const double target[3]);
/// Moves the source, or the target, of the pair at index (which must exist).
void MoveSource(LandmarkPairs& pairs, vtkIdType index, const double source[3]);
void MoveTarget(LandmarkPairs& pairs, vtkIdType index, const double target[3]);
/// Removes the pair at index (which must exist); the later pairs move down by one.
void RemovePair(LandmarkPairs& pairs, vtkIdType index);
}

#endif
