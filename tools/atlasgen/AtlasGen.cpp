// SPDX-License-Identifier: LGPL-2.1-or-later
// Draws the program's pictures: the 1024 x 1024 atlas (share/res/drawable/atlas.png) with every
// rectangle of the atlas table and every glyph of the font at its pixels, and the 64 x 64 window
// icon (icon.png, the same pixels the window carries). Run at build time:
//   zs_atlasgen <output directory>
#include <lodepng.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "render/Atlas.h"
#include "render/Font.h"
#include "render/WindowIcon.h"
#include "tools/atlasgen/Glyphs.h"

namespace {

struct Rgba {
  double r = 0, g = 0, b = 0, a = 0;  // 0..255 each
};

Rgba Mix(const Rgba& a, const Rgba& b, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

Rgba Scaled(const Rgba& c, double f) { return {c.r * f, c.g * f, c.b * f, c.a}; }

double Smooth(double edge0, double edge1, double x) {
  const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

// A repeatable pseudo-random value 0..1 for pixel (x, y) and a seed.
double Hash(int x, int y, int seed) {
  uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + uint32_t(seed) * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  h ^= h >> 16;
  return (h & 0xffffff) / double(0xffffff);
}

class Canvas {
 public:
  explicit Canvas(int size) : size(size), pixels(size_t(size) * size * 4, 0) {}

  // Row 0 is the top of the picture.
  void Put(int x, int row, const Rgba& c) {
    if (x < 0 || x >= size || row < 0 || row >= size) return;
    uint8_t* p = &pixels[(size_t(row) * size + x) * 4];
    const double v[4] = {c.r, c.g, c.b, c.a};
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(std::lround(std::clamp(v[i], 0.0, 255.0)));
  }
  Rgba Get(int x, int row) const {
    if (x < 0 || x >= size || row < 0 || row >= size) return {};
    const uint8_t* p = &pixels[(size_t(row) * size + x) * 4];
    return {double(p[0]), double(p[1]), double(p[2]), double(p[3])};
  }

  int size;
  std::vector<uint8_t> pixels;
};

// One atlas rectangle seen the way the screen shows it: x to the right and y upwards from the
// rectangle's bottom-left corner, one unit per texture pixel. Drawing is clipped to the rectangle.
class Region {
 public:
  Region(Canvas& canvas, const PixelRect& rect) : canvas(canvas), rect(rect) {}
  int Width() const { return rect.w; }
  int Height() const { return rect.h; }

  void Put(int x, int y, const Rgba& c) {
    if (x < 0 || x >= rect.w || y < 0 || y >= rect.h) return;
    canvas.Put(rect.x + x, canvas.size - 1 - (rect.y + y), c);
  }
  // Paints `c` over what is there with coverage `alpha` (0..1).
  void Over(int x, int y, const Rgba& c, double alpha) {
    if (x < 0 || x >= rect.w || y < 0 || y >= rect.h || alpha <= 0) return;
    const int row = canvas.size - 1 - (rect.y + y);
    const Rgba under = canvas.Get(rect.x + x, row);
    const double a = std::clamp(alpha * c.a / 255.0, 0.0, 1.0);
    const double outA = a + under.a / 255.0 * (1 - a);
    if (outA <= 0) return;
    auto channel = [&](double top, double bottom) {
      return (top * a + bottom * under.a / 255.0 * (1 - a)) / outA;
    };
    canvas.Put(rect.x + x, row, {channel(c.r, under.r), channel(c.g, under.g), channel(c.b, under.b), outA * 255});
  }
  void Fill(int x0, int y0, int w, int h, const Rgba& c) {
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) Put(x, y, c);
  }
  template <class F>
  void Paint(F colorAt) {
    for (int y = 0; y < rect.h; ++y)
      for (int x = 0; x < rect.w; ++x) Put(x, y, colorAt(x + 0.5, y + 0.5));
  }

 private:
  Canvas& canvas;
  PixelRect rect;
};

const GlyphArt* FindArt(char c) {
  for (const GlyphArt& art : GlyphArts)
    if (art.character == c) return &art;
  return nullptr;
}

// Writes a text with the glyph pictures, `scale` region pixels per glyph pixel, the top-left of
// the first glyph at (x, top); advances as the font does (glyph cell width + 2, 14 for a space).
void DrawText(Region& region, int x, int top, const std::string& text, const Rgba& color, int scale,
              const Rgba* shadow = nullptr) {
  const MyFont font;
  for (char c : text) {
    const CharOutline* outline = font.Find(c);
    const GlyphArt* art = FindArt(c);
    if (!outline || !art) {
      x += MyFont::kBlankAdvance * scale;
      continue;
    }
    for (int row = 0; row < 12; ++row) {
      const std::string line = art->rows[row];
      for (size_t col = 0; col < line.size(); ++col) {
        if (line[col] != '#') continue;
        for (int sy = 0; sy < scale; ++sy)
          for (int sx = 0; sx < scale; ++sx) {
            const int px = x + int(col) * scale + sx;
            const int py = top - (row + 1) * scale + sy;
            if (shadow) region.Over(px + 1, py - 1, *shadow, 1);
            region.Over(px, py, color, 1);
          }
      }
    }
    x += (outline->x1 - outline->x0 + 1 + outline->spacing) * scale;
  }
}

// Each glyph at its cell: art rows fill the cell from its second row from the top down to its
// bottom row, art columns start at its left column. The cell's top row and right column stay
// empty because the font's texture coordinates end on their inner edges.
void DrawGlyphs(Canvas& canvas) {
  const MyFont font;
  const Rgba white{255, 255, 255, 255};
  for (const CharOutline& g : font.GetOutlines()) {
    const GlyphArt* art = FindArt(g.character);
    if (!art) {
      std::printf("error: glyph %c has no picture\n", g.character);
      continue;
    }
    Region cell(canvas, {g.x0, g.y0, g.x1 - g.x0 + 1, g.y1 - g.y0 + 1});
    const int sampledWidth = g.x1 - g.x0;
    for (int row = 0; row < 12; ++row) {
      const std::string line = art->rows[row];
      for (int col = 0; col < int(line.size()) && col < sampledWidth; ++col)
        if (line[col] == '#') cell.Put(col, g.y1 - g.y0 - 1 - row, white);
    }
  }
}

// The step grid counts semitones from C: which of the 37 key columns are black keys.
bool IsBlackKey(int k) {
  static const bool pattern[12] = {false, true, false, true, false, false, true, false, true, false, true, false};
  return pattern[k % 12];
}

const Rgba PanelColor{30, 31, 37, 255};
const Rgba TextStripColor{23, 24, 29, 255};
const Rgba RailColor{92, 95, 106, 255};
const Rgba RailLightColor{150, 154, 166, 255};

// A black key in region coordinates: 18 wide, 45 high from `y`.
void DrawBlackKey(Region& r, int x, int y) {
  const Rgba body{20, 20, 24, 255}, side{46, 46, 54, 255}, front{62, 62, 70, 255}, shine{96, 96, 108, 255};
  r.Fill(x, y, 18, 45, body);
  r.Fill(x, y + 6, 2, 39, side);
  r.Fill(x + 16, y + 6, 2, 39, side);
  r.Fill(x, y, 18, 6, front);
  r.Fill(x + 1, y + 6, 16, 1, shine);
  r.Fill(x + 4, y + 12, 2, 28, Rgba{36, 36, 42, 255});
}

// Keyboard panel, shown at (0, 0): the text strip below y = 93, the 37 key columns at
// x = 3 + 21 k from y = 93 to 180, a rail at 181 to 183; transparent above, where the grid begins.
void DrawKeyboardPanel(Canvas& canvas) {
  Region r(canvas, Atlas::GetCoords(Atlas::KeyboardPanel));
  r.Paint([](double, double y) {
    if (y >= 184) return Rgba{};
    if (y < 91) return Mix(TextStripColor, Scaled(TextStripColor, 1.18), y / 91);
    return Mix(PanelColor, Scaled(PanelColor, 1.15), (y - 91) / 93);
  });
  r.Fill(0, 90, 800, 1, Rgba{58, 60, 70, 255});
  r.Fill(0, 91, 800, 1, Rgba{12, 12, 16, 255});
  r.Fill(0, 181, 800, 3, RailColor);
  r.Fill(0, 183, 800, 1, RailLightColor);
  const Rgba keyColor{228, 228, 222, 255}, keyEdge{198, 198, 192, 255}, keyLip{178, 178, 172, 255};
  for (int k = 0; k < 37; ++k) {
    const int x = 3 + 21 * k;
    if (IsBlackKey(k)) {
      r.Fill(x, 93, 18, 43, Rgba{24, 25, 30, 255});  // the lowered slot under a black key
      DrawBlackKey(r, x, 136);
      continue;
    }
    r.Fill(x, 93, 18, 88, keyColor);
    r.Fill(x, 93, 1, 88, Rgba{242, 242, 238, 255});
    r.Fill(x + 17, 93, 1, 88, keyEdge);
    r.Fill(x, 93, 18, 5, keyLip);
    if (k % 12 == 0) {  // C keys carry a small mark so octaves can be told apart
      r.Fill(x + 7, 101, 4, 4, Rgba{120, 124, 140, 255});
    }
  }
}

// Key strip, shown at (3, 134) over the panel and the white-key highlights: only the black keys
// and the rail are opaque, so a highlighted white key shows through everywhere else.
void DrawKeyStrip(Canvas& canvas) {
  Region r(canvas, Atlas::GetCoords(Atlas::KeyStrip));
  for (int k = 0; k < 37; ++k)
    if (IsBlackKey(k)) DrawBlackKey(r, 21 * k, 2);
  r.Fill(0, 47, 774, 3, RailColor);
  r.Fill(0, 49, 774, 1, RailLightColor);
}

// Step cursor, 34 x 39, placed so that the 18 x 23 note cell lies at (9, 8) inside it: a bright
// frame with a 2-unit gap around the cell and a dark outline that keeps it visible on light notes.
void DrawCursor(Canvas& canvas) {
  Region r(canvas, Atlas::GetCoords(Atlas::Cursor));
  const Rgba outline{10, 12, 20, 220}, frame{235, 245, 255, 255}, corner{120, 220, 255, 255};
  auto box = [&](int x0, int y0, int x1, int y1, int thickness, const Rgba& c) {
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) {
        const bool edge = x < x0 + thickness || x > x1 - thickness || y < y0 + thickness || y > y1 - thickness;
        if (edge) r.Put(x, y, c);
      }
  };
  box(4, 3, 31, 35, 1, outline);
  box(5, 4, 30, 34, 2, frame);
  box(7, 6, 28, 32, 1, outline);
  // Corner accents: L shapes over the frame, 7 units along each side.
  const Rgba accent = corner;
  r.Fill(5, 33, 7, 2, accent);
  r.Fill(5, 28, 2, 7, accent);
  r.Fill(24, 33, 7, 2, accent);
  r.Fill(29, 28, 2, 7, accent);
  r.Fill(5, 4, 7, 2, accent);
  r.Fill(5, 4, 2, 7, accent);
  r.Fill(24, 4, 7, 2, accent);
  r.Fill(29, 4, 2, 7, accent);
}

// A 32 x 32 marker: the shape in pure white (the key colour that shader 3 replaces) with edges
// smoothed only through alpha, and a dark rim that stays as it is.
template <class Distance>
void DrawMarker(Canvas& canvas, int atlasIndex, Distance signedDistance) {
  Region r(canvas, Atlas::GetCoords(atlasIndex));
  const Rgba white{255, 255, 255, 255}, rim{16, 16, 20, 255};
  r.Paint([&](double x, double y) {
    const double d = signedDistance(x, y);  // negative inside, in pixels
    if (d < -0.5) return white;
    if (d < 1.5) return rim;
    return Rgba{rim.r, rim.g, rim.b, 255 * (1 - Smooth(1.5, 2.5, d))};
  });
}

void DrawMarkers(Canvas& canvas) {
  // Marker B: a record dot.
  DrawMarker(canvas, Atlas::MarkerB, [](double x, double y) { return std::hypot(x - 16, y - 16) - 12.5; });
  // Marker A: a play triangle pointing right.
  DrawMarker(canvas, Atlas::MarkerA, [](double x, double y) {
    const double left = 7 - x;
    const double s = 1 / std::sqrt(1 + 0.5625);  // edges of slope 0.75 units of y per unit of x
    const double top = ((y - 16) - 0.75 * (26 - x)) * s;
    const double bottom = (-(y - 16) - 0.75 * (26 - x)) * s;
    return std::max({left, top, bottom});
  });
  // Spare marker: a stop square.
  DrawMarker(canvas, Atlas::Spare, [](double x, double y) { return std::max(std::abs(x - 16), std::abs(y - 16)) - 10.5; });
}

// Default picture (260 x 58), shown for an unknown atlas index: the program's name plate.
void DrawDefaultPlate(Canvas& canvas) {
  Region r(canvas, Atlas::GetCoords(Atlas::Default));
  const Rgba border{110, 30, 120, 255}, top{44, 24, 52, 255}, bottom{20, 14, 26, 255};
  r.Paint([&](double x, double y) {
    const double dx = std::max({6 - x, x - 254, 0.0}), dy = std::max({6 - y, y - 52, 0.0});
    const double d = std::hypot(dx, dy) - 6;  // rounded corners of radius 6
    if (d > 0.5) return Rgba{};
    if (d > -2) return border;
    return Mix(bottom, top, y / 58);
  });
  const Rgba text{235, 215, 240, 255}, shadow{0, 0, 0, 200}, accent{214, 10, 214, 255};
  DrawText(r, 55, 50, "ZEMBROVANE", text, 1, &shadow);
  DrawText(r, 62, 28, "SEQUENCER", Rgba{234, 153, 5, 255}, 1, &shadow);
  // A few note bars either side, as on a step grid.
  const int bars[][3] = {{14, 12, 10}, {26, 22, 14}, {38, 34, 8}, {218, 30, 12}, {230, 18, 10}, {242, 8, 8}};
  for (const auto& b : bars) r.Fill(b[0], b[1], 9, b[2], accent);
}

// Wallpaper 1 (blue): a moonlit sea at night.
void DrawWallpaperNightSea(Canvas& canvas) {
  Region r(canvas, Atlas::GetCoords(Atlas::Wallpaper1));
  const double horizon = 112, moonX = 292, moonY = 222, moonR = 20;
  r.Paint([&](double x, double y) {
    if (y >= horizon) {
      Rgba c = Mix(Rgba{22, 42, 86, 255}, Rgba{5, 8, 26, 255}, (y - horizon) / (300 - horizon));
      const double dm = std::hypot(x - moonX, y - moonY);
      c = Mix(c, Rgba{60, 80, 130, 255}, 0.55 * std::exp(-std::max(dm - moonR, 0.0) / 38));  // glow
      if (dm < moonR) {
        // Three soft grey seas on the moon's face.
        double shade = 1.0;
        const double seas[3][3] = {{-6, 5, 6}, {5, -3, 7}, {-3, -9, 4}};
        for (const auto& sea : seas) shade -= 0.12 * Smooth(sea[2], sea[2] - 2, std::hypot(x - moonX - sea[0], y - moonY - sea[1]));
        c = Mix(c, Scaled(Rgba{214, 222, 238, 255}, shade), Smooth(moonR, moonR - 1.2, dm));
      }
      const double star = Hash(int(x), int(y), 1);
      if (star > 0.9965 && dm > moonR + 8) c = Mix(c, Rgba{200, 210, 255, 255}, (star - 0.9965) / 0.0035 * 0.8 + 0.2);
      return c;
    }
    // Sea: darker towards the viewer, with broken ripples and the moon's reflection.
    Rgba c = Mix(Rgba{6, 12, 32, 255}, Rgba{16, 30, 64, 255}, y / horizon);
    const int line = int(y / 3);
    const double ripple = Hash(int(x / (10 + (horizon - y) / 6)), line, 3);
    if (ripple > 0.86) c = Mix(c, Rgba{44, 70, 120, 255}, 0.5);
    const double spread = 10 + (horizon - y) * 0.35;
    const double reflection = std::exp(-std::pow((x - moonX) / spread, 2));
    if (Hash(int(x / 4), line, 5) < reflection * 0.9 && int(y) % 3 != 0)
      c = Mix(c, Rgba{170, 185, 220, 255}, 0.35 + 0.4 * y / horizon);
    return c;
  });
  // A dark coast on the left.
  for (int x = 0; x < 150; ++x) {
    const double h = horizon + 18 * std::exp(-x / 60.0) + 4 * std::sin(x / 9.0) * std::exp(-x / 90.0) - x * 0.12;
    for (int y = int(horizon) - 2; y < h; ++y) r.Put(x, y, Rgba{4, 6, 14, 255});
  }
}

// Wallpaper 2 (warm): a striped sun setting behind dunes.
void DrawWallpaperDusk(Canvas& canvas) {
  Region r(canvas, Atlas::GetCoords(Atlas::Wallpaper2));
  const double sunX = 200, sunY = 132, sunR = 64;
  r.Paint([&](double x, double y) {
    Rgba c = y > 120 ? Mix(Rgba{150, 62, 48, 255}, Rgba{28, 10, 42, 255}, Smooth(120, 300, y))
                     : Rgba{150, 62, 48, 255};
    const double d = std::hypot(x - sunX, y - sunY);
    if (d < sunR) {
      // Bands widen towards the bottom of the disc.
      const double fromTop = (sunY + sunR - y) / (2 * sunR);
      const double band = std::fmod(y, 11.0);
      const bool gap = fromTop > 0.45 && band < 1 + 6 * (fromTop - 0.45);
      if (!gap) c = Mix(Rgba{236, 180, 70, 255}, Rgba{214, 60, 96, 255}, fromTop);
    } else {
      c = Mix(c, Rgba{200, 90, 70, 255}, 0.35 * std::exp(-(d - sunR) / 30));
    }
    const double star = Hash(int(x), int(y), 11);
    if (y > 210 && star > 0.997) c = Mix(c, Rgba{255, 220, 230, 255}, 0.6);
    return Scaled(c, 0.62);
  });
  // Two rows of dunes.
  for (int x = 0; x < 400; ++x) {
    const double far = 96 + 14 * std::sin(x / 47.0 + 1) + 7 * std::sin(x / 19.0);
    const double nearTop = 58 + 20 * std::sin(x / 71.0 + 2.5) + 6 * std::sin(x / 23.0 + 0.7);
    for (int y = 0; y < far; ++y) {
      Rgba c = y < nearTop ? Mix(Rgba{26, 10, 24, 255}, Rgba{58, 22, 40, 255}, y / nearTop)
                           : Mix(Rgba{52, 22, 46, 255}, Rgba{88, 38, 58, 255}, (y - nearTop) / (far - nearTop + 1));
      if (y >= nearTop - 1 && y < nearTop) c = Rgba{120, 52, 60, 255};  // lit ridge
      r.Put(x, y, c);
    }
  }
}

// Wallpaper 3 (warm): layered hills in amber haze under a dusky sky, kept dark enough for
// orange notes to stand out.
void DrawWallpaperAmberHills(Canvas& canvas) {
  Region r(canvas, Atlas::GetCoords(Atlas::Wallpaper3));
  r.Paint([&](double x, double y) {
    Rgba c = Mix(Rgba{120, 72, 40, 255}, Rgba{34, 20, 30, 255}, Smooth(140, 300, y));
    const double sun = std::hypot(x - 300, y - 178);
    c = Mix(c, Rgba{230, 190, 130, 255}, std::exp(-sun / 14) * 0.8);
    return Scaled(c, 0.8);
  });
  const Rgba layers[5] = {{140, 92, 50, 255}, {112, 68, 38, 255}, {84, 48, 28, 255}, {58, 32, 20, 255}, {34, 18, 12, 255}};
  for (int layer = 0; layer < 5; ++layer) {
    const double base = 170 - layer * 34;
    for (int x = 0; x < 400; ++x) {
      const double top = base + 16 * std::sin(x / (60.0 - layer * 6) + layer * 1.7) +
                         8 * std::sin(x / (23.0 + layer * 3) + layer) + 3 * std::sin(x / 7.0 + layer * 2);
      for (int y = 0; y < top; ++y) {
        // Haze: each layer lighter near its ridge, as if mist sat in the valleys.
        const double mist = Smooth(top - 30, top, y) * 0.18;
        Rgba c = Mix(layers[layer], Rgba{190, 130, 70, 255}, mist);
        if (layer == 4 && Hash(x / 3, y / 5, 21) > 0.93) c = Scaled(c, 0.8);  // brush in the foreground
        r.Put(x, y, Scaled(c, 0.62));
      }
    }
  }
}

// The pitch-black picture (250 x 98): a night with a thin moon, a few stars and two eyes
// watching; its edges fade to transparent over any background colour.
void DrawPitchBlack(Canvas& canvas) {
  Region r(canvas, Atlas::GetCoords(Atlas::PitchBlack));
  const double w = r.Width(), h = r.Height();
  r.Paint([&](double x, double y) {
    const double edge = std::min({x, y, w - x, h - y});
    const double alpha = Smooth(0, 14, edge) * 255;
    Rgba c{0, 0, 0, alpha};
    // Crescent moon: a disc minus an offset disc.
    const double d1 = std::hypot(x - 42, y - 66), d2 = std::hypot(x - 49, y - 70);
    const double moon = Smooth(15, 14, d1) * Smooth(13, 14.5, d2);
    c = Mix(c, Rgba{190, 196, 210, alpha}, moon);
    const double star = Hash(int(x), int(y), 31);
    if (star > 0.996 && y > 40) c = Mix(c, Rgba{120, 126, 150, alpha}, 0.8);
    // Two eyes: almond shapes with slit pupils.
    for (double ex : {160.0, 184.0}) {
      const double u = (x - ex) / 8, v = (y - 38) / 4.2;
      const double almond = u * u + v * v * (1 + 0.8 * u * u);
      if (almond < 1) {
        const double pupil = std::abs(x - ex) < 1.2 ? 1 : 0;
        c = Mix(Rgba{214, 226, 60, alpha}, Rgba{0, 0, 0, alpha}, pupil);
        c = Mix(c, Rgba{120, 140, 20, alpha}, Smooth(0.5, 1, almond) * (1 - pupil));
      }
    }
    // The faint outline of a ridge.
    const double ridge = 14 + 6 * std::sin(x / 33) + 3 * std::sin(x / 11);
    if (y < ridge) c = Mix(c, Rgba{10, 10, 16, alpha}, 1);
    return c;
  });
}

bool WritePng(const std::string& path, const std::vector<uint8_t>& rgba, unsigned w, unsigned h) {
  const unsigned error = lodepng::encode(path, rgba, w, h, LCT_RGBA, 8);
  if (error) {
    std::printf("error: cannot write %s: %s\n", path.c_str(), lodepng_error_text(error));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::printf("error: usage: zs_atlasgen <output directory>\n");
    return 1;
  }
  const std::string dir = argv[1];

  Canvas atlas(Atlas::kSize);
  DrawWallpaperNightSea(atlas);
  DrawWallpaperDusk(atlas);
  DrawWallpaperAmberHills(atlas);
  DrawKeyboardPanel(atlas);
  DrawKeyStrip(atlas);
  DrawPitchBlack(atlas);
  DrawDefaultPlate(atlas);
  DrawCursor(atlas);
  DrawMarkers(atlas);
  DrawGlyphs(atlas);
  if (!WritePng(dir + "/atlas.png", atlas.pixels, Atlas::kSize, Atlas::kSize)) return 1;

  const auto icon = DrawWindowIcon();
  std::vector<uint8_t> iconRgba;
  for (uint32_t argb : icon) {
    iconRgba.push_back(uint8_t(argb >> 16));
    iconRgba.push_back(uint8_t(argb >> 8));
    iconRgba.push_back(uint8_t(argb));
    iconRgba.push_back(uint8_t(argb >> 24));
  }
  if (!WritePng(dir + "/icon.png", iconRgba, kWindowIconSize, kWindowIconSize)) return 1;
  return 0;
}
