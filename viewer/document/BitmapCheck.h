/**
 * @file BitmapCheck.h
 * @brief Whether a file is a bitmap the document can show, found before it is used.
 *
 * Both the texture and the background image are read by a vtkBMPReader that the pipeline
 * updates later, at the next render, where a bad file can only print an error. So the
 * document reads the whole file once first, with a reader of its own, and switches to the
 * file only when that read was clean.
 */
#ifndef BitmapCheck_h
#define BitmapCheck_h

#include <string>

/// True when path is a bitmap that reads without an error or warning and holds a picture;
/// otherwise false, with the reason (a phrase a user understands) in reason.
bool CheckBitmap(const std::string& path, std::string& reason);

#endif
