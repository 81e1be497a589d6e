#include "vtkMFCView.h"

#include "Clipboard.h"
#include "Resources.h"
#include "VtkWindow.h"

#include <vtkRenderWindow.h>

#include <cstring>
#include <limits>

//------------------------------------------------------------------------------
vtkMFCView::vtkMFCView()
{
  this->MapCommand(ID_EDIT_COPY, &vtkMFCView::OnEditCopy);
}

//------------------------------------------------------------------------------
vtkMFCView::~vtkMFCView() = default;

//------------------------------------------------------------------------------
BOOL vtkMFCView::PreCreateWindow(CREATESTRUCT& cs)
{
  cs.style |= WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  cs.lpszClass = VTK_OPENGL_WINDOW_CLASS;
  return CView::PreCreateWindow(cs);
}

//------------------------------------------------------------------------------
void vtkMFCView::OnDraw(CDC*) {}

//------------------------------------------------------------------------------
vtkRenderWindow* vtkMFCView::GetRenderingWindow()
{
  return nullptr;
}

//------------------------------------------------------------------------------
void vtkMFCView::BeginMemoryRendering(int, int, HDC) {}

//------------------------------------------------------------------------------
void vtkMFCView::EndMemoryRendering() {}

//------------------------------------------------------------------------------
unsigned char* vtkMFCView::GetMemoryPixels()
{
  return nullptr;
}

//------------------------------------------------------------------------------
std::size_t vtkMFCView::DibRowSize(int width)
{
  return width > 0 ? ((3 * static_cast<std::size_t>(width) + 3) / 4) * 4 : 0;
}

//------------------------------------------------------------------------------
void vtkMFCView::OnEditCopy()
{
  this->LastCopySucceeded = false;
  vtkRenderWindow* window = this->GetRenderingWindow();
  if (!window)
  {
    return;
  }
  const int* size = window->GetSize();
  const int w = size[0];
  const int h = size[1];
  const std::size_t row = DibRowSize(w);
  // An empty window, or a picture too large for the header's 32-bit image size, has no
  // bitmap to offer.
  if (w <= 0 || h <= 0 ||
    row * static_cast<std::size_t>(h) > std::numeric_limits<DWORD>::max() - 40)
  {
    return;
  }
  if (!OpenClipboard(this->m_hWnd))
  {
    return;
  }
  CWaitCursor wait;
  EmptyClipboard();

  const std::size_t imageSize = row * static_cast<std::size_t>(h);
  std::vector<BYTE> block(sizeof(BITMAPINFOHEADER) + imageSize, 0);
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = w;
  header.biHeight = h; // positive: rows bottom-up
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  header.biSizeImage = static_cast<DWORD>(imageSize);
  std::memcpy(block.data(), &header, sizeof header);

  this->BeginMemoryRendering(w, h, this->m_hWnd);
  window->Render();
  const unsigned char* pixels = this->GetMemoryPixels();
  if (pixels)
  {
    std::memcpy(block.data() + sizeof header, pixels, imageSize);
    this->LastCopySucceeded = SetClipboardData(CF_DIB, std::move(block)) != FALSE;
  }
  // Without pixels (no picture could be rendered) the clipboard is left empty rather
  // than given a black bitmap.
  CloseClipboard();
  this->EndMemoryRendering();
}
