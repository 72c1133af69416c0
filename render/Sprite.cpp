// SPDX-License-Identifier: LGPL-2.1-or-later
#include "render/Sprite.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include "render/Atlas.h"
#include "render/Render.h"

Sprite::Sprite() { Reset(); }

void Sprite::Reset() {
  textureIndex = -1;
  shaderIndex = kShaderTexture;
  useRect = false;
  rect = PixelRect{};
  visible = false;
  baseWidth = baseHeight = 0;
  color = color1 = color2 = color3 = Color{};
  replaceColor1 = replaceColor2 = replaceColor3 = Color{};
  rotation = rotation2 = 0;
  positionX = positionY = 0;
  anchorX = anchorY = 0;
  reflectX = reflectY = false;
  scaleX = scaleY = 1;
}

void Sprite::Create(IRender* r, int texture, const PixelRect& source) {
  render = r;
  SetTextureIndex(texture, source);
  visible = true;
}

void Sprite::Create(IRender* r, int atlasIndex) {
  render = r;
  SetTextureIndex(atlasIndex);
  visible = true;
}

void Sprite::Create(IRender* r, int width, int height) {
  render = r;
  textureIndex = kFlatTextureIndex;
  shaderIndex = kShaderFlat;
  useRect = false;
  rect = PixelRect{};
  baseWidth = width;
  baseHeight = height;
  visible = true;
}

void Sprite::SetTextureIndex(int texture, const PixelRect& source) {
  if (IsFlat()) shaderIndex = kShaderTexture;  // a former flat sprite becomes textured
  textureIndex = texture;
  useRect = true;
  rect = source;
  TextureInfo info;
  if (render) render->GetTextureInfo(texture, info);
  baseWidth = info.width;
  baseHeight = info.height;
}

void Sprite::SetTextureIndex(int atlasIndex) {
  const int index = atlasIndex >= 1 && atlasIndex <= 8 ? atlasIndex : 0;
  SetTextureIndex(Atlas::kTextureSlot, Atlas::GetCoords(index));
}

void Sprite::SetShaderIndex(int shader) {
  if (IsFlat()) return;
  shaderIndex = shader;
}

void Sprite::SetSize(int w, int h) {
  const int bw = useRect ? rect.w : baseWidth;
  const int bh = useRect ? rect.h : baseHeight;
  if (bw != 0) scaleX = double(w) / bw;
  if (bh != 0) scaleY = double(h) / bh;
}

namespace {

void Rotate(double& x, double& y, double degrees) {
  const double t = degrees / 180.0 * std::numbers::pi;
  const double c = std::cos(t), s = std::sin(t);
  const double nx = x * c - y * s;
  const double ny = y * c + x * s;
  x = nx;
  y = ny;
}

}  // namespace

Quad* Sprite::GetQuad(int) {
  const bool textured = useRect && !IsFlat();
  const double w = textured ? rect.w : baseWidth;
  const double h = textured ? rect.h : baseHeight;
  InitQuad(&quad, w, h, textureIndex, shaderIndex, false, reflectX, reflectY, color);
  SetQuadReplaceColor(&quad, color1, color2, color3, replaceColor1, replaceColor2, replaceColor3);

  const double ax = w * anchorX, ay = h * anchorY;
  for (auto& corner : quad.corners) {
    double x = corner[0] - ax, y = corner[1] - ay;
    if (rotation2 != 0) Rotate(x, y, rotation2);
    x *= scaleX;
    y *= scaleY;
    if (rotation != 0) Rotate(x, y, rotation);
    corner[0] = x + positionX;
    corner[1] = y + positionY;
  }

  // Without a known texture size (slot not loaded) the quad keeps the whole-texture coordinates
  // rather than dividing by zero.
  if (textured && baseWidth > 0 && baseHeight > 0) {
    double uLeft = double(rect.x) / baseWidth, uRight = uLeft + double(rect.w) / baseWidth;
    double vBottom = double(rect.y) / baseHeight, vTop = vBottom + double(rect.h) / baseHeight;
    if (reflectX) std::swap(uLeft, uRight);
    if (reflectY) std::swap(vBottom, vTop);
    const double us[4] = {uLeft, uLeft, uRight, uRight};
    const double vs[4] = {vTop, vBottom, vTop, vBottom};
    for (int i = 0; i < 4; ++i) {
      quad.textureCoords[i][0] = us[i];
      quad.textureCoords[i][1] = vs[i];
    }
  }
  return &quad;
}

BoundingBox Sprite::GetBoundingBox() {
  BoundingBox box;
  for (int i = 0; i < GetNumQuads(); ++i) {
    BoundingBox one;
    GetQuadBoundingBox(GetQuad(i), one);
    if (i == 0) {
      box = one;
    } else {
      box.minX = std::min(box.minX, one.minX);
      box.minY = std::min(box.minY, one.minY);
      box.maxX = std::max(box.maxX, one.maxX);
      box.maxY = std::max(box.maxY, one.maxY);
    }
  }
  return box;
}
