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
 * CheckModelFileCounts looks at the announced counts before the reader runs; CheckModelCells
 * looks at the cells the reader produced. Both explain a refusal in a sentence.
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
 * True when the cell lists of the model (vertices, lines, polygons and strips) are
 * consistent (offsets that start at 0, never decrease and end at the size of the
 * connectivity), every cell has the points its kind needs (a vertex one, a line two, a
 * polygon or strip three) and refers only to points the model has. False, with reason,
 * otherwise.
 */
bool CheckModelCells(vtkPolyData* model, std::string& reason);

#endif
