#include "Clipboard.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMimeData>

#include <cstring>

namespace
{
// The block exactly as set, for programs (and tests) that ask for CF_DIB itself.
const char* const DibMime = "application/x-quorvel-cf-dib";

struct ClipboardState
{
  bool Open = false;
  bool Emptied = false;
  QMimeData* Pending = nullptr;
};
ClipboardState State;

// A BMP file is the block behind a 14-byte file header.
QByteArray BmpFile(const std::vector<BYTE>& dib)
{
  BITMAPINFOHEADER header;
  std::memcpy(&header, dib.data(), sizeof header);
  const std::uint32_t fileSize = static_cast<std::uint32_t>(14 + dib.size());
  const std::uint32_t offset = 14 + header.biSize;
  QByteArray file;
  file.append("BM", 2);
  auto put32 = [&file](std::uint32_t v)
  {
    for (int i = 0; i < 4; ++i)
    {
      file.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
  };
  put32(fileSize);
  put32(0);
  put32(offset);
  file.append(reinterpret_cast<const char*>(dib.data()), static_cast<int>(dib.size()));
  return file;
}
}

//------------------------------------------------------------------------------
BOOL OpenClipboard(HWND)
{
  if (State.Open || !qobject_cast<QApplication*>(QCoreApplication::instance()) ||
    !QApplication::clipboard())
  {
    return FALSE;
  }
  State.Open = true;
  State.Emptied = false;
  return TRUE;
}

//------------------------------------------------------------------------------
BOOL EmptyClipboard()
{
  if (!State.Open)
  {
    return FALSE;
  }
  delete State.Pending;
  State.Pending = new QMimeData;
  State.Emptied = true;
  return TRUE;
}

//------------------------------------------------------------------------------
BOOL SetClipboardData(UINT format, std::vector<BYTE> block)
{
  if (!State.Open || format != CF_DIB || block.size() < sizeof(BITMAPINFOHEADER))
  {
    return FALSE;
  }
  if (!State.Pending)
  {
    State.Pending = new QMimeData;
  }
  BITMAPINFOHEADER header;
  std::memcpy(&header, block.data(), sizeof header);
  State.Pending->setData(DibMime,
    QByteArray(reinterpret_cast<const char*>(block.data()), static_cast<int>(block.size())));
  const QByteArray bmp = BmpFile(block);
  State.Pending->setData("image/bmp", bmp);
  QImage image;
  if (image.loadFromData(bmp, "BMP"))
  {
    State.Pending->setImageData(image);
  }
  return TRUE;
}

//------------------------------------------------------------------------------
BOOL CloseClipboard()
{
  if (!State.Open)
  {
    return FALSE;
  }
  State.Open = false;
  if (State.Pending)
  {
    QApplication::clipboard()->setMimeData(State.Pending); // the clipboard owns it now
    State.Pending = nullptr;
  }
  else if (State.Emptied)
  {
    QApplication::clipboard()->clear();
  }
  return TRUE;
}

//------------------------------------------------------------------------------
std::vector<BYTE> GetClipboardData(UINT format)
{
  std::vector<BYTE> block;
  if (format != CF_DIB || !qobject_cast<QApplication*>(QCoreApplication::instance()))
  {
    return block;
  }
  const QMimeData* data = QApplication::clipboard()->mimeData();
  if (data && data->hasFormat(DibMime))
  {
    const QByteArray bytes = data->data(DibMime);
    block.assign(bytes.begin(), bytes.end());
  }
  return block;
}
