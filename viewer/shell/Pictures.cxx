#include "Pictures.h"

#include <cmath>
#include <string>
#include <vector>

namespace
{
// A raster of palette characters; '.' is transparent (it has no palette entry).
class Canvas
{
public:
  Canvas(int width, int height, char fill = '.')
    : Rows(static_cast<std::size_t>(height), std::string(static_cast<std::size_t>(width), fill))
  {
  }

  int Width() const { return static_cast<int>(this->Rows[0].size()); }
  int Height() const { return static_cast<int>(this->Rows.size()); }

  void Set(int x, int y, char c)
  {
    if (x >= 0 && y >= 0 && x < this->Width() && y < this->Height())
    {
      this->Rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = c;
    }
  }

  void FillRect(int x0, int y0, int x1, int y1, char c)
  {
    for (int y = y0; y <= y1; ++y)
    {
      for (int x = x0; x <= x1; ++x)
      {
        this->Set(x, y, c);
      }
    }
  }

  /// A filled rectangle with a one-pixel outline.
  void Box(int x0, int y0, int x1, int y1, char fill, char outline)
  {
    this->FillRect(x0, y0, x1, y1, outline);
    this->FillRect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, fill);
  }

  /// A disc of the given centre and radius (in pixel centres), outlined.
  void Disc(double cx, double cy, double r, char fill, char outline)
  {
    for (int y = 0; y < this->Height(); ++y)
    {
      for (int x = 0; x < this->Width(); ++x)
      {
        const double d = std::hypot(x - cx, y - cy);
        if (d <= r - 1.0)
        {
          this->Set(x, y, fill);
        }
        else if (d <= r)
        {
          this->Set(x, y, outline);
        }
      }
    }
  }

  std::vector<std::string> Rows;
};

// Button palette: dark outline, green play, amber pause, grey-blue stop, red record, and a
// light highlight that gives each glyph a little relief.
Canvas PlayGlyph()
{
  Canvas c(16, 15);
  // A triangle pointing right, rows 2..12, apex at x = 12.
  for (int y = 2; y <= 12; ++y)
  {
    const int half = 6 - std::abs(y - 7); // 1..6..1
    const int right = 4 + 2 * half - 1;
    for (int x = 4; x <= right && x <= 12; ++x)
    {
      const bool edge = x == 4 || x == right || x == 12 || y == 2 || y == 12;
      c.Set(x, y, edge ? 'k' : 'g');
    }
  }
  c.Set(5, 5, 'w');
  c.Set(5, 6, 'w');
  return c;
}

Canvas PauseGlyph()
{
  Canvas c(16, 15);
  c.Box(3, 2, 6, 12, 'a', 'k');
  c.Box(9, 2, 12, 12, 'a', 'k');
  c.FillRect(4, 3, 4, 5, 'w');
  c.FillRect(10, 3, 10, 5, 'w');
  return c;
}

Canvas StopGlyph()
{
  Canvas c(16, 15);
  c.Box(3, 2, 12, 11, 's', 'k');
  c.FillRect(4, 3, 6, 3, 'w');
  c.FillRect(4, 4, 4, 5, 'w');
  return c;
}

Canvas RecordGlyph()
{
  Canvas c(16, 15);
  c.Disc(7.5, 7.0, 5.2, 'r', 'k');
  c.Set(6, 4, 'w');
  c.Set(5, 5, 'w');
  return c;
}
}

//------------------------------------------------------------------------------
ToolbarResource DrawPlaybarButtons()
{
  ToolbarResource toolbar;
  toolbar.ButtonWidth = 16;
  toolbar.ButtonHeight = 15;
  toolbar.Images = { PlayGlyph().Rows, PauseGlyph().Rows, StopGlyph().Rows, RecordGlyph().Rows };
  toolbar.Palette = {
    { 'k', RGB(32, 32, 40) },
    { 'g', RGB(40, 170, 70) },
    { 'a', RGB(230, 160, 30) },
    { 's', RGB(90, 110, 150) },
    { 'r', RGB(215, 40, 40) },
    { 'w', RGB(245, 245, 235) },
  };
  return toolbar;
}

//------------------------------------------------------------------------------
BitmapResource DrawAboutPicture()
{
  constexpr int Size = 96;
  constexpr int Margin = 6;
  Canvas c(Size, Size, 'b');

  // The bump: points near the centre move up and to the right, fading out with distance
  // like the compactly supported kernel (1 - r/R)^2 of the transform.
  const double cx = Size / 2.0, cy = Size / 2.0, radius = 40.0;
  auto displaced = [&](double x, double y, double& u, double& v)
  {
    const double r = std::hypot(x - cx, y - cy);
    const double w = r < radius ? (1.0 - r / radius) * (1.0 - r / radius) : 0.0;
    u = x + 10.0 * w;
    v = y - 14.0 * w;
  };

  // Grid lines, traced finely so that the bent lines stay connected.
  constexpr int Lines = 8;
  const double step = (Size - 2.0 * Margin) / Lines;
  for (int i = 0; i <= Lines; ++i)
  {
    const double fixed = Margin + i * step;
    for (double t = Margin; t <= Size - Margin; t += 0.25)
    {
      double u, v;
      displaced(fixed, t, u, v); // vertical line
      c.Set(static_cast<int>(std::lround(u)), static_cast<int>(std::lround(v)), 'l');
      displaced(t, fixed, u, v); // horizontal line
      c.Set(static_cast<int>(std::lround(u)), static_cast<int>(std::lround(v)), 'l');
    }
  }

  // Landmark pairs: the source (hollow) and where the bump takes it (filled).
  const double marks[][2] = { { 38, 54 }, { 54, 54 }, { 46, 42 }, { 30, 30 }, { 62, 66 } };
  for (const auto& m : marks)
  {
    double u, v;
    displaced(m[0], m[1], u, v);
    for (double t = 0.0; t <= 1.0; t += 0.05)
    {
      c.Set(static_cast<int>(std::lround(m[0] + t * (u - m[0]))),
        static_cast<int>(std::lround(m[1] + t * (v - m[1]))), 'y');
    }
    c.Disc(m[0], m[1], 2.3, 'b', 'y');
    c.Disc(u, v, 2.6, 'o', 'o');
  }

  // A frame around it all.
  for (int i = 0; i < Size; ++i)
  {
    c.Set(i, 0, 'f');
    c.Set(i, Size - 1, 'f');
    c.Set(0, i, 'f');
    c.Set(Size - 1, i, 'f');
  }

  BitmapResource picture;
  picture.Rows = c.Rows;
  picture.Palette = {
    { 'b', RGB(13, 89, 115) },   // the viewer's background colour
    { 'l', RGB(190, 225, 215) }, // grid
    { 'y', RGB(250, 215, 90) },  // where a landmark was, and its path
    { 'o', RGB(240, 90, 60) },   // where it goes
    { 'f', RGB(20, 30, 40) },    // frame
  };
  return picture;
}
