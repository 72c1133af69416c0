// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <vector>

#include "render/Color.h"

// A rectangle in texture pixels; x and y are the left and lower edge counted from the
// bottom-left corner of the texture as it is stored (upside down, see Render::LoadTexture).
struct PixelRect {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
};

struct BoundingBox {
  double minX = 0;
  double minY = 0;
  double maxX = 0;
  double maxY = 0;
};

// Size and wrap mode of a loaded texture slot; all zero for a slot that holds nothing.
struct TextureInfo {
  int width = 0;
  int height = 0;
  bool repeat = false;
};

// Texture slot value of a flat (untextured) quad; -1 means the same.
constexpr int kFlatTextureIndex = 9999;

// The shader programs a quad can be drawn with, in the order of their files (Shader.vsh/.fsh to
// Shader4.vsh/.fsh). A plain enum, so a quad's `shaderIndex` stays an int for tests and batching.
enum ShaderProgram : int {
  kShaderTexture = 0,        // the texture as stored
  kShaderFlat = 1,           // uColor only; the only program without a texture
  kShaderTintedTexture = 2,  // the texture times uColor (font glyphs, panels)
  kShaderReplaceColors = 3,  // the texture with three key colours replaced (markers)
  kShaderProgramCount
};

// The three key colours of a kShaderReplaceColors picture and the colours drawn instead.
struct ReplaceColors {
  Color color1, color2, color3;
  Color replace1, replace2, replace3;
  bool operator==(const ReplaceColors&) const = default;
};

// The one drawing primitive. Coordinates are virtual-screen units (800 x 600, y upwards);
// corner 0 is top-left, 1 bottom-left, 2 top-right, 3 bottom-right as InitQuad builds them.
// The triangles drawn are corners (0, 1, 2) and (1, 2, 3); a triangle quad draws only the first.
// Kept small: the densest frame holds thousands of quads and writing them is most of its cost
// (floats are what the vertex buffer takes anyway; the rarely used replacement colours are an
// index into a shared table).
struct Quad {
  int textureIndex = 0;
  int shaderIndex = 0;
  Color color;
  int replaceColors = 0;  // see SetQuadReplaceColor; 0 replaces nothing
  bool isTriangle = false;
  float corners[4][2] = {};        // x, y
  float textureCoords[4][2] = {};  // u, v normalised, v = 0 at the bottom of the picture
};

// The frame's quads in drawing order: later quads are drawn over earlier ones.
struct QuadList {
  std::vector<Quad> quads;
};

void InitQuad(Quad* q, double width, double height, int textureIndex, int shaderIndex, bool isTriangle,
              bool reflectX, bool reflectY, Color color);
// Any thread may set and read replacement colours. A frame uses a handful of distinct sets;
// once the table is full, further new sets replace nothing.
void SetQuadReplaceColor(Quad* q, const Color& c1, const Color& c2, const Color& c3, const Color& r1,
                         const Color& r2, const Color& r3);
const ReplaceColors& QuadReplaceColors(const Quad& q);
void GetQuadBoundingBox(const Quad* q, BoundingBox& box);
// All zero for an empty list.
void GetQuadsBoundingBox(const std::vector<Quad>& quads, BoundingBox& box);
void TranslateQuad(Quad* q, double dx, double dy);
// Keeps corner 1 and the left edge; assumes the corner layout of InitQuad.
void ScaleQuad(Quad* q, double sx, double sy);
// Mirrors the texture coordinates; assumes the corner layout of InitQuad.
void ReflectQuad(Quad* q, bool reflectX, bool reflectY);
void ScaleQuadTexture(Quad* q, double su, double sv);
