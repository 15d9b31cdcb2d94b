#include "editor/artwork.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "editor/editor_layout.h"
#include "editor/knob_drag.h"
#include "editor/pixel_font.h"

namespace {

struct Rgb {
  double r, g, b;
};

Rgb mix(Rgb a, Rgb b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Rgb scaled(Rgb a, double k) { return {a.r * k, a.g * k, a.b * k}; }
double clamp01(double v) { return v < 0.0 ? 0.0 : v > 1.0 ? 1.0 : v; }
double smoothstep(double e0, double e1, double x) {
  const double t = clamp01((x - e0) / (e1 - e0));
  return t * t * (3.0 - 2.0 * t);
}

// A colour with coverage, as one layer contributes it at one sample point.
struct Paint {
  Rgb colour;
  double alpha;
};
constexpr Paint kNothing{{0, 0, 0}, 0.0};

// The pictures are drawn in double precision and rounded to 8 bits per channel at the end.
class Canvas {
 public:
  Canvas(int w, int h, Rgb fill) : w(w), h(h), px(new (std::nothrow) Rgb[static_cast<size_t>(w * h)]) {
    if (px != nullptr) std::fill(px.get(), px.get() + static_cast<size_t>(w * h), fill);
  }
  bool valid() const { return px != nullptr; }
  int width() const { return w; }
  int height() const { return h; }
  Rgb& at(int x, int y) { return px[static_cast<size_t>(y * w + x)]; }
  Rgb at(int x, int y) const { return px[static_cast<size_t>(y * w + x)]; }

  // Composites one layer over the pixels of a box, 4 x 4 samples per pixel: `layer` is asked
  // what it paints at each sample point (continuous coordinates, pixel centres at +0.5).
  template <class Layer>
  void paint(int x0, int y0, int x1, int y1, const Layer& layer) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, w - 1);
    y1 = std::min(y1, h - 1);
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) {
        Rgb sum{0, 0, 0};
        double cover = 0.0;
        for (int sy = 0; sy < 4; ++sy)
          for (int sx = 0; sx < 4; ++sx) {
            const Paint p = layer(x + (sx + 0.5) / 4.0, y + (sy + 0.5) / 4.0);
            sum.r += p.colour.r * p.alpha;
            sum.g += p.colour.g * p.alpha;
            sum.b += p.colour.b * p.alpha;
            cover += p.alpha;
          }
        if (cover <= 0.0) continue;
        const Rgb mean = scaled(sum, 1.0 / cover);
        at(x, y) = mix(at(x, y), mean, cover / 16.0);
      }
  }

  void blit(const Canvas& from, int x, int y) {
    for (int j = 0; j < from.h; ++j)
      for (int i = 0; i < from.w; ++i) at(x + i, y + j) = from.at(i, j);
  }

  // Rounds every pixel to 8 bits per channel. The knob pointer is drawn in the pointer's grey:
  // no artwork pixel may have exactly that colour, so that the pointer can be told apart.
  void quantise() {
    for (size_t i = 0; i < static_cast<size_t>(w * h); ++i) {
      Rgb& c = px[i];
      c = {std::round(std::clamp(c.r, 0.0, 255.0)), std::round(std::clamp(c.g, 0.0, 255.0)),
           std::round(std::clamp(c.b, 0.0, 255.0))};
      if (rgbOf(c) == kKnobPointerColour) c.b += 1;
    }
  }

  // The box of a quantised canvas at (x, y), `picture`'s size, as 8-bit pixels.
  void copyTo(Picture& picture, int x, int y) const {
    for (int j = 0; j < picture.height(); ++j)
      for (int i = 0; i < picture.width(); ++i) picture.set(i, j, rgbOf(at(x + i, y + j)));
  }

 private:
  static uint32_t rgbOf(Rgb c) {
    return static_cast<uint32_t>(c.r) << 16 | static_cast<uint32_t>(c.g) << 8 |
           static_cast<uint32_t>(c.b);
  }

  int w, h;
  std::unique_ptr<Rgb[]> px;
};

// A small repeatable noise, so that the artwork comes out the same on every run.
double hashNoise(int i) {
  uint32_t x = static_cast<uint32_t>(i) * 2654435761u;
  x ^= x >> 15;
  x *= 2246822519u;
  x ^= x >> 13;
  return (x & 0xFFFF) / 65535.0 - 0.5;
}

// ---- the panel ----------------------------------------------------------------------------

const Rgb kFaceTop{30, 48, 96};
const Rgb kFaceBottom{17, 28, 64};
const Rgb kLabelInk{214, 224, 242};
const Rgb kDimInk{120, 140, 186};
const Rgb kLampYellow{255, 214, 40};

// The bare face depends on the row only (a vertical fall-off and sideways brushing), so that
// every knob, standing on the same rows, sits on exactly the same ground.
Rgb faceColour(int y) {
  const double t = static_cast<double>(y) / (kEditorHeight - 1);
  const Rgb base = mix(kFaceTop, kFaceBottom, t);
  const double brush = 1.0 + 0.035 * hashNoise(y) + 0.02 * std::sin(y * 0.9);
  return scaled(base, brush);
}

void drawFace(Canvas& c) {
  for (int y = 0; y < c.height(); ++y)
    for (int x = 0; x < c.width(); ++x) c.at(x, y) = faceColour(y);
  // A bevelled edge: light along the top and left, shadow along the bottom and right.
  const int w = c.width(), h = c.height();
  for (int i = 0; i < 2; ++i) {
    const double k = i == 0 ? 1.0 : 0.5;
    for (int x = i; x < w - i; ++x) {
      c.at(x, i) = mix(c.at(x, i), {110, 135, 190}, 0.55 * k);
      c.at(x, h - 1 - i) = mix(c.at(x, h - 1 - i), {4, 6, 16}, 0.7 * k);
    }
    for (int y = i; y < h - i; ++y) {
      c.at(i, y) = mix(c.at(i, y), {90, 115, 170}, 0.45 * k);
      c.at(w - 1 - i, y) = mix(c.at(w - 1 - i, y), {4, 6, 16}, 0.7 * k);
    }
  }
}

// An engraved line: a dark groove with a light lip below it.
void drawGroove(Canvas& c, int x0, int x1, int y) {
  for (int x = x0; x <= x1; ++x) {
    c.at(x, y) = mix(c.at(x, y), {6, 10, 24}, 0.75);
    c.at(x, y + 1) = mix(c.at(x, y + 1), {70, 92, 150}, 0.45);
  }
}

// A recess around a box: shadow on its top and left inner edge, light on the bottom and right.
void drawRecess(Canvas& c, int x0, int y0, int x1, int y1, Rgb floor) {
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) c.at(x, y) = floor;
  for (int x = x0 - 1; x <= x1 + 1; ++x) {
    c.at(x, y0 - 1) = mix(c.at(x, y0 - 1), {2, 4, 10}, 0.85);
    c.at(x, y1 + 1) = mix(c.at(x, y1 + 1), {96, 120, 176}, 0.6);
  }
  for (int y = y0 - 1; y <= y1 + 1; ++y) {
    c.at(x0 - 1, y) = mix(c.at(x0 - 1, y), {2, 4, 10}, 0.85);
    c.at(x1 + 1, y) = mix(c.at(x1 + 1, y), {96, 120, 176}, 0.6);
  }
}

int textWidth(const char* text) {
  int width = 0;
  for (const char* ch = text; *ch != '\0'; ++ch) width += trimmedGlyph(*ch).width + 1;
  return width > 0 ? width - 1 : 0;
}

// Pixel text with a soft dark shadow one pixel down; (x, top) is the top of the cap height.
void drawText(Canvas& c, const char* text, int x, int top, Rgb ink, double shadow = 0.6) {
  for (int pass = 0; pass < 2; ++pass) {
    int pen = x;
    for (const char* ch = text; *ch != '\0'; ++ch) {
      const TrimmedGlyph g = trimmedGlyph(*ch);
      for (int row = 0; row < kGlyphRows; ++row)
        for (int col = 0; col < g.width; ++col) {
          if (!g.ink(row, col)) continue;
          if (pass == 0) {
            Rgb& p = c.at(pen + col, top + row + 1);
            p = mix(p, {0, 2, 10}, shadow);
          } else {
            c.at(pen + col, top + row) = ink;
          }
        }
      pen += g.width + 1;
    }
  }
}

void drawCentredText(Canvas& c, const char* text, int centreX, int top, Rgb ink) {
  drawText(c, text, centreX - textWidth(text) / 2, top, ink);
}

// A dot-matrix display: every ink pixel of the font's seven upper rows becomes a lit lamp on a
// `pitch` grid, one column of paper between letters, and the unlit lamps show faintly, as on a
// real display. The text fits kDotColumns.
constexpr int kDotRows = 7;
constexpr int kDotColumns = 96;

void drawDotMatrix(Canvas& c, const char* text, int x, int top, double pitch, Rgb lit) {
  bool grid[kDotRows][kDotColumns] = {};
  int columns = 0;
  for (const char* ch = text; *ch != '\0'; ++ch) {
    const TrimmedGlyph g = trimmedGlyph(*ch);
    for (int col = 0; col < g.width && columns + col < kDotColumns; ++col)
      for (int row = 0; row < kDotRows; ++row) grid[row][columns + col] = g.ink(row, col);
    columns += g.width + 1;
  }
  columns = std::min(columns - 1, kDotColumns);
  const double radius = pitch * 0.42;
  for (int row = 0; row < kDotRows; ++row)
    for (int col = 0; col < columns; ++col) {
      const bool on = grid[row][col];
      const double cx = x + (col + 0.5) * pitch;
      const double cy = top + (row + 0.5) * pitch;
      const Rgb colour = on ? lit : Rgb{34, 34, 20};
      c.paint(static_cast<int>(cx - pitch), static_cast<int>(cy - pitch), static_cast<int>(cx + pitch),
              static_cast<int>(cy + pitch), [&](double px, double py) -> Paint {
                const double d = std::hypot(px - cx, py - cy);
                if (on) {
                  // A lamp with a hot centre and a faint halo.
                  if (d <= radius) return {mix({255, 250, 200}, colour, smoothstep(0, radius, d)), 1.0};
                  return {colour, 0.18 * (1.0 - smoothstep(radius, pitch * 0.9, d))};
                }
                return {colour, d <= radius * 0.9 ? 1.0 : 0.0};
              });
    }
}

// A panel screw: a domed steel head with a slot.
void drawScrew(Canvas& c, double cx, double cy) {
  const double r = 4.2;
  c.paint(static_cast<int>(cx - 7), static_cast<int>(cy - 7), static_cast<int>(cx + 7),
          static_cast<int>(cy + 7), [&](double x, double y) -> Paint {
            const double u = x - cx, v = y - cy;
            const double d = std::hypot(u, v);
            const double shadowD = std::hypot(u - 0.8, v - 1.2);
            if (d > r) return {{0, 0, 4}, 0.5 * (1.0 - smoothstep(r - 0.5, r + 1.5, shadowD))};
            const double light = clamp01(0.5 - 0.5 * (u + v) / (r * 1.4));
            Rgb metal = mix({70, 76, 88}, {200, 206, 216}, light);
            const double slot = std::fabs((u - v) * 0.7071);
            if (slot < 0.7 && d < r - 0.6) metal = {24, 26, 32};
            return {metal, 1.0};
          });
}

// A grille of drilled holes, as in front of a microphone capsule.
void drawGrille(Canvas& c, int x0, int y0, int x1, int y1) {
  const double pitch = 6.0;
  for (double cy = y0 + 3; cy <= y1 - 3; cy += pitch * 0.866) {
    const int rowIndex = static_cast<int>(std::lround((cy - y0 - 3) / (pitch * 0.866)));
    const double offset = (rowIndex % 2) * pitch / 2;
    for (double cx = x0 + 3 + offset; cx <= x1 - 3; cx += pitch) {
      c.paint(static_cast<int>(cx - 3), static_cast<int>(cy - 3), static_cast<int>(cx + 3),
              static_cast<int>(cy + 3), [&](double x, double y) -> Paint {
                const double u = x - cx, v = y - cy;
                const double d = std::hypot(u, v);
                if (d <= 1.9) return {mix({2, 3, 8}, {14, 20, 40}, clamp01((u + v) / 3.0 + 0.5)), 1.0};
                // the lower right rim catches the light
                if (d <= 2.6 && u + v > 0) return {{90, 112, 168}, 0.5 * (1.0 - smoothstep(1.9, 2.6, d))};
                return kNothing;
              });
    }
  }
}

// ---- knobs ----------------------------------------------------------------------------------

constexpr double kSkirtRadius = 14.6;
constexpr double kCapRadius = 12.0;

// The knob as seen from the front, lit from the upper left; (u, v) from the pointer's centre,
// v downwards.
Paint knobPaint(double u, double v) {
  const double d = std::hypot(u, v);
  const double theta = std::atan2(-v, u);
  if (d > kSkirtRadius + 0.5) {
    // the knob's shadow falls to the lower right
    const double sd = std::hypot(u - 1.2, v - 1.8);
    return {{0, 2, 8}, 0.6 * (1.0 - smoothstep(kSkirtRadius - 1.0, kSkirtRadius + 2.5, sd))};
  }
  Rgb colour;
  if (d > kCapRadius + 0.8) {
    // knurled skirt: fine ribs, darker away from the light
    const double facing = 0.5 + 0.5 * std::cos(theta - 2.356);
    const double rib = 0.5 + 0.5 * std::cos(theta * 36.0);
    const double g = 42 + 34 * facing + 10 * rib;
    colour = {g, g + 1, g + 4};
    // a bright rim where the skirt's edge turns to the light
    const double rim = smoothstep(kSkirtRadius - 1.4, kSkirtRadius - 0.4, d) * facing;
    colour = mix(colour, {176, 182, 194}, 0.7 * rim);
  } else if (d > kCapRadius) {
    colour = {20, 21, 26};  // the groove between skirt and cap
  } else {
    // spun cap: a conical sheen with two bright and two dark quarters, and fine circles
    const double sheen = std::pow(std::fabs(std::cos(theta - 0.85)), 2.2);
    const double g = 70 + 48 * sheen + 2.5 * std::sin(d * 9.0);
    colour = {g, g + 1, g + 5};
    // a soft darkening towards the cap's edge gives it a slight dome
    colour = scaled(colour, 1.0 - 0.18 * smoothstep(kCapRadius - 3.0, kCapRadius, d));
  }
  const double edge = 1.0 - smoothstep(kSkirtRadius - 0.5, kSkirtRadius + 0.5, d);
  return {colour, edge};
}

void drawKnob(Canvas& c, int imageX, int imageY) {
  const double cx = imageX + kKnobCentreX;
  const double cy = imageY + kKnobCentreY;
  const double span = static_cast<double>(kKnobStartAngle) - static_cast<double>(kKnobEndAngle);

  // The scale: eleven ticks from 0 to 1, the ends and the middle longer.
  for (int k = 0; k <= 10; ++k) {
    const double a = kKnobStartAngle - k / 10.0 * span;
    const bool major = k % 5 == 0;
    const double r0 = 16.8, r1 = major ? 20.6 : 19.2;
    const double ex = std::cos(a), ey = -std::sin(a);
    c.paint(static_cast<int>(cx - 22), static_cast<int>(cy - 22), static_cast<int>(cx + 22),
            static_cast<int>(cy + 22), [&](double x, double y) -> Paint {
              const double u = x - cx, v = y - cy;
              const double along = u * ex + v * ey;
              const double across = std::fabs(-u * ey + v * ex);
              if (along < r0 - 0.5 || along > r1 + 0.5) return kNothing;
              const double halfWidth = major ? 0.75 : 0.55;
              const double a1 = 1.0 - smoothstep(halfWidth - 0.35, halfWidth + 0.35, across);
              const double a2 = smoothstep(r0 - 0.5, r0 + 0.5, along) *
                                (1.0 - smoothstep(r1 - 0.5, r1 + 0.5, along));
              return {major ? Rgb{226, 232, 246} : Rgb{168, 184, 220}, a1 * a2};
            });
  }
  c.paint(static_cast<int>(cx - 19), static_cast<int>(cy - 19), static_cast<int>(cx + 19),
          static_cast<int>(cy + 19),
          [&](double x, double y) { return knobPaint(x - cx, y - cy); });
}

// ---- switches -------------------------------------------------------------------------------

// A square lamp filling its 22 x 23 image: a dark frame, a lens shaded from its top, a gloss
// highlight along the top. `lit` gives the yellow lamp, otherwise the olive one.
Canvas makeSwitch(bool lit) {
  Canvas s(kSwitchWidth, kSwitchHeight, {0, 0, 0});
  if (!s.valid()) return s;
  const Rgb frame = lit ? Rgb{96, 74, 6} : Rgb{26, 28, 10};
  const Rgb top = lit ? Rgb{255, 236, 92} : Rgb{112, 118, 46};
  const Rgb bottom = lit ? Rgb{236, 182, 18} : Rgb{74, 80, 26};
  const double w = kSwitchWidth, h = kSwitchHeight;
  s.paint(0, 0, kSwitchWidth - 1, kSwitchHeight - 1, [&](double x, double y) -> Paint {
    if (x < 1.0 || y < 1.0 || x > w - 1.0 || y > h - 1.0) return {frame, 1.0};
    Rgb lens = mix(top, bottom, (y - 1.0) / (h - 2.0));
    if (lit) {
      // light spreads from the middle of a lit lamp
      const double d = std::hypot(x - w / 2, y - h / 2) / (w / 2);
      lens = mix({255, 250, 196}, lens, smoothstep(0.0, 0.9, d));
    }
    // a bevel inside the frame: light above and left, shade below and right
    const double inX = std::min(x - 1.0, w - 1.0 - x), inY = std::min(y - 1.0, h - 1.0 - y);
    if (std::min(inX, inY) < 1.5) {
      const bool lightSide = (y - 1.0 < 1.5 && inY <= inX) || (x - 1.0 < 1.5 && inX < inY);
      lens = mix(lens, lightSide ? Rgb{255, 255, 235} : scaled(bottom, 0.55), lit ? 0.35 : 0.3);
    }
    // gloss along the top third
    if (y > 2.5 && y < 6.5 && x > 3.0 && x < w - 3.0) lens = mix(lens, {255, 255, 255}, lit ? 0.35 : 0.18);
    return {lens, 1.0};
  });
  s.quantise();
  return s;
}

// ---- the whole panel ------------------------------------------------------------------------

Canvas makeBackground(const Canvas& switchOff) {
  Canvas c(kEditorWidth, kEditorHeight, {0, 0, 0});
  if (!c.valid()) return c;
  drawFace(c);

  // The title in a dot-matrix window, and what the unit is.
  drawRecess(c, 40, 7, 226, 32, {6, 8, 14});
  drawDotMatrix(c, "MULCHVOICE", 44, 9, 3.0, kLampYellow);
  const char* subtitle = "EIGHT BAND VOCODER";
  drawText(c, subtitle, 436 - textWidth(subtitle), 16, kDimInk);

  // Knobs with their scales and names.
  for (const ControlPlace& place : kControlLayout) {
    if (place.kind() != ParameterKind::kContinuous) continue;
    drawKnob(c, place.imageX, place.imageY);
    drawCentredText(c, kParameterTable[place.paramIndex].label, place.imageX + kKnobCentreX, 37,
                    kLabelInk);
  }

  // Switches sit in a recess, their names to the right.
  for (const ControlPlace& place : kControlLayout) {
    if (place.kind() != ParameterKind::kSwitch) continue;
    drawRecess(c, place.imageX, place.imageY, place.imageX + kSwitchWidth - 1,
               place.imageY + kSwitchHeight - 1, {0, 0, 0});
    c.blit(switchOff, place.imageX, place.imageY);
    drawText(c, kParameterTable[place.paramIndex].label, place.imageX + kSwitchWidth + 9,
             place.imageY + 8, kLabelInk);
  }

  drawGrille(c, 398, 44, 462, 122);
  drawGroove(c, 14, 464, 132);
  // What goes in and out, and the build.
  drawText(c, "2 IN / MONO OUT", 40, 142, kDimInk);
  const char* version = "VERSION 0.801";
  drawText(c, version, 436 - textWidth(version), 142, kDimInk);
  drawScrew(c, 9.5, 9.5);
  drawScrew(c, kEditorWidth - 9.5, 9.5);
  drawScrew(c, 9.5, kEditorHeight - 9.5);
  drawScrew(c, kEditorWidth - 9.5, kEditorHeight - 9.5);
  c.quantise();
  return c;
}

}  // namespace

// The UI thread of whoever makes an editor. Allocates the pictures and the drawing canvases.
bool drawArtwork(Artwork& artwork) {
  const Canvas switchOff = makeSwitch(false);
  const Canvas switchOn = makeSwitch(true);
  if (!switchOff.valid() || !switchOn.valid()) return false;
  const Canvas background = makeBackground(switchOff);
  if (!background.valid()) return false;

  artwork.background = Picture(kEditorWidth, kEditorHeight);
  artwork.knobFace = Picture(kKnobFaceSize, kKnobFaceSize);
  artwork.switchOff = Picture(kSwitchWidth, kSwitchHeight);
  artwork.switchOn = Picture(kSwitchWidth, kSwitchHeight);
  if (artwork.background.empty() || artwork.knobFace.empty() || artwork.switchOff.empty() ||
      artwork.switchOn.empty())
    return false;
  background.copyTo(artwork.background, 0, 0);
  // The face is cut from the panel at the first knob; every knob stands on the same rows of
  // the same ground, so every knob shows the same face.
  background.copyTo(artwork.knobFace, kControlLayout[0].imageX, kControlLayout[0].imageY);
  switchOff.copyTo(artwork.switchOff, 0, 0);
  switchOn.copyTo(artwork.switchOn, 0, 0);
  return true;
}
