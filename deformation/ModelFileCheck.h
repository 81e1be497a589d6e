/**
 * @file ModelFileCheck.h
 * @brief Checks that make a model file from a user's disk safe to read and to display.
 *
 * VTK's legacy polygonal data reader trusts a file in two ways that a truncated, hand-edited
 * or hostile file can abuse:
 * - it allocates what a section header announces before it reads a value, so a file of a few
 *   bytes that announces two billion points takes 24 GB;
 * - it keeps cells whose point ids lie outside the points read, and cell lists whose offsets
 *   decrease, and every filter after it then reads out of range.
 * - in the older layout of cell lists (each cell its point count, then its point ids), it walks
 *   the list by those counts without looking where the list ends, so a count larger than
 *   what is left of the list reads past the end of its memory (a crash).
 * CheckModelFileCounts looks at the announced counts and CheckLegacyCellLists at the cell
 * lists before the reader runs; CheckModelCells looks at the cells the reader produced. All
 * explain a refusal in a sentence.
 */
#ifndef ModelFileCheck_h
#define ModelFileCheck_h

#include <string>

class vtkPolyData;

/**
 * True when no count announced in the model file (points, cells, connectivity and offsets,
 * point and cell data, the tuples of field arrays) exceeds the number of bytes the file
 * holds: every value takes at least one byte, in ASCII as in binary files. False, with
 * reason, for a larger count or a file that cannot be read.
 */
bool CheckModelFileCounts(const char* path, std::string& reason);

/**
 * True when every cell list of the legacy model file in the older layout ("POLYGONS n size"
 * followed by size numbers, ASCII or big-endian 32-bit binary) splits into whole cells: each
 * cell's count is 0 or more and its ids end within the list. Lists in the newer layout
 * (OFFSETS and CONNECTIVITY arrays), and lists that the reader will refuse by itself (values
 * that are no integers, a list the file ends in), are left to the reader. False, with reason,
 * for a list that does not split, or a file that cannot be read.
 */
bool CheckLegacyCellLists(const char* path, std::string& reason);

/**
 * True when the cell lists of the model (vertices, lines, polygons and strips) are
 * consistent (offsets that start at 0, never decrease and end at the size of the
 * connectivity), every cell has the points its kind needs (a vertex one, a line two, a
 * polygon or strip three) and refers only to points the model has. False, with reason,
 * otherwise.
 */
bool CheckModelCells(vtkPolyData* model, std::string& reason);

#endif
