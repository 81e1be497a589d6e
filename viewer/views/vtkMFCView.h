/**
 * @class vtkMFCView
 * @brief The base of the viewer's views: a framework view whose window an OpenGL render
 * window can draw into, the hooks through which a view renders into memory, and Edit >
 * Copy.
 *
 * Edit > Copy renders the current picture into memory at the render window's size and puts
 * it on the clipboard as a 24-bit bottom-up device-independent bitmap (CF_DIB): a 40-byte
 * BITMAPINFOHEADER followed by the rows, each padded to a multiple of 4 bytes. It works
 * only through the four virtual hooks, so a view without a render window copies nothing.
 */
#ifndef vtkMFCView_h
#define vtkMFCView_h

#include "View.h"

#include <cstddef>

class vtkRenderWindow;

class vtkMFCView : public CView
{
public:
  vtkMFCView();
  ~vtkMFCView() override;

  /// Adds WS_CLIPCHILDREN and WS_CLIPSIBLINGS and asks for a window that OpenGL can draw
  /// into.
  BOOL PreCreateWindow(CREATESTRUCT& cs) override;
  /// Draws nothing: a derived view renders.
  void OnDraw(CDC* pDC) override;

  ///@{
  /// The rendering hooks; here they have nothing to work on.
  virtual vtkRenderWindow* GetRenderingWindow();
  virtual void BeginMemoryRendering(int width, int height, HDC dc);
  virtual void EndMemoryRendering();
  virtual unsigned char* GetMemoryPixels();
  ///@}

  /// Edit > Copy (ID_EDIT_COPY): the picture to the clipboard (see the class comment).
  void OnEditCopy();
  /// Whether the last Edit > Copy put a picture on the clipboard.
  bool LastCopySucceeded = false;

  /// Bytes in one bitmap row of the given width: 3 per pixel, padded to a multiple of 4.
  static std::size_t DibRowSize(int width);
};

#endif
