// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include "render/Quad.h"
#include "render/Stage.h"

class IRender;

// One textured or flat rectangle with position, anchor, scale, rotation and mirroring; it
// builds its quad on demand. A textured sprite shows a rectangle of a texture slot at one
// virtual unit per texture pixel before scaling.
class Sprite : public IStageElement {
 public:
  Sprite();

  // Texture slot -1, invisible, zero size and colours, no rotation, scale 1.
  void Reset();
  // Textured sprite showing `rect` of slot `textureIndex`; the render (borrowed, may be null)
  // tells the slot's size. The three Create calls make the sprite visible.
  void Create(IRender* render, int textureIndex, const PixelRect& rect);
  // Rectangle `atlasIndex` (1 to 8) of the atlas in slot 99; other indices show rectangle 0.
  void Create(IRender* render, int atlasIndex);
  // Flat sprite of width x height units, drawn with kShaderFlat.
  void Create(IRender* render, int width, int height);

  void SetTextureIndex(int textureIndex, const PixelRect& rect);
  void SetTextureIndex(int atlasIndex);
  // Ignored for a flat sprite, which stays on kShaderFlat.
  void SetShaderIndex(int shaderIndex);
  void SetColor(const Color& c) { color = c; }
  void SetPosition(double x, double y) {
    positionX = x;
    positionY = y;
  }
  void SetPositionX(double x) { positionX = x; }
  void SetPositionY(double y) { positionY = y; }
  // Fraction of the size; (0, 0) is the bottom-left corner.
  void SetAnchor(double ax, double ay) {
    anchorX = ax;
    anchorY = ay;
  }
  void SetScale(double sx, double sy) {
    scaleX = sx;
    scaleY = sy;
  }
  // Scales to w x h units; a sprite without a size keeps its scale.
  void SetSize(int w, int h);
  // Degrees, counter-clockwise, applied after scaling.
  void SetRotation(double degrees) { rotation = degrees; }
  // Degrees, counter-clockwise, applied before scaling.
  void SetRotation2(double degrees) { rotation2 = degrees; }
  void SetReflect(bool rx, bool ry) {
    reflectX = rx;
    reflectY = ry;
  }

  int GetTextureIndex() const { return textureIndex; }
  int GetShaderIndex() const { return shaderIndex; }

  int GetType() override { return 0; }
  BoundingBox GetBoundingBox() override;
  bool IsVisible() override { return visible; }
  void SetVisible(bool v) override { visible = v; }
  int GetNumQuads() override { return 1; }
  // Rebuilds the quad from the current settings; the index is ignored.
  Quad* GetQuad(int index) override;

  // Key colours and their replacements for kShaderReplaceColors, set directly by the owner.
  Color color1, color2, color3;
  Color replaceColor1, replaceColor2, replaceColor3;

 private:
  bool IsFlat() const { return textureIndex == kFlatTextureIndex; }

  bool useRect = false;
  PixelRect rect;
  bool visible = false;
  Quad quad;
  int textureIndex = -1;
  int shaderIndex = 0;
  double rotation = 0;
  double rotation2 = 0;
  double positionX = 0;
  double positionY = 0;
  double anchorX = 0;
  double anchorY = 0;
  bool reflectX = false;
  bool reflectY = false;
  double scaleX = 1;
  double scaleY = 1;
  int baseWidth = 0;   // texture width of a textured sprite, flat width otherwise
  int baseHeight = 0;  // likewise
  Color color;
  IRender* render = nullptr;
};
