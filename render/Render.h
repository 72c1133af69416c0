// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <GLES2/gl2.h>

#include <string>
#include <vector>

#include "render/Color.h"
#include "render/Quad.h"

class Stage;

// One draw call over consecutive vertices: all its quads share texture, program and the
// colour uniforms that program reads.
struct TriangleBatch {
  int textureIndex = 0;
  int shaderIndex = 0;
  int triangleCount = 0;
  Color color;
  int replaceColors = 0;  // the quads' index of the colours below
  Color color1, color2, color3;
  Color replaceColor1, replaceColor2, replaceColor3;
};

// Draws the frame's quads on the current GL ES 2 context. Every operation runs on the thread
// that owns the context (the main thread).
class IRender {
 public:
  // The caller owns the result. A raw pointer because the tests and the benchmark keep it in a
  // static holder; the program wraps it in a std::unique_ptr at once.
  static IRender* Create();

  virtual ~IRender() = default;
  // Compiles the four shader programs from `shaderDirectory` (ending in a separator) and sets up
  // textures and the vertex buffer. False, after an "error: " line, when a shader does not compile
  // or link.
  virtual bool Init(int renderWidth, int renderHeight, int windowWidth, int windowHeight,
                    const Color& backgroundColor, const std::string& shaderDirectory) = 0;
  virtual void Shutdown() = 0;
  // Loads a PNG into slot `index` (0 to 99). False, after an "error: " line, when the file does not
  // decode, the slot does not exist or GL refuses it; the slot then keeps what it held.
  virtual bool LoadTexture(const std::string& path, int index, bool repeat) = 0;
  // All zero for a slot outside 0 to 99 or one never loaded.
  virtual void GetTextureInfo(int index, TextureInfo& info) = 0;
  virtual void SetScroll(double x, double y) = 0;
  virtual void SetBackgroundColor(const Color& color) = 0;
  virtual void BeginFrame() = 0;
  virtual void EndFrame() = 0;
  virtual void Add(Stage* stage) = 0;
  virtual void Add(const std::vector<Quad>& quads) = 0;
  virtual void RenderFrame() = 0;
  virtual void UpdateRenderWindowDimensions(int width, int height) = 0;
  virtual void GetRenderWidthAndHeight(int& width, int& height) = 0;
};

// Builds the vertices (x, y, z, u, v per vertex) and draw batches of a frame. Returns false,
// leaving both empty, when a quad is invalid: a negative texture slot with a shader other than kShaderFlat,
// or a texture slot with a negative shader. The store grows as needed; its size is not the vertex
// count (that is the sum of 3 x triangleCount).
bool BuildFrameBatches(const std::vector<Quad>& quads, std::vector<float>& vertices,
                       std::vector<TriangleBatch>& batches, int& vertexCount);

class Render : public IRender {
 public:
  static constexpr int kTextureSlots = 100;
  static constexpr int kProgramCount = kShaderProgramCount;
  static constexpr int kFloatsPerVertex = 5;
  // Vertices the store holds before it has to grow: 800 two-triangle quads.
  static constexpr int kInitialVertexCapacity = 4800;

  Render();
  ~Render() override;

  bool Init(int renderWidth, int renderHeight, int windowWidth, int windowHeight, const Color& backgroundColor,
            const std::string& shaderDirectory) override;
  void Shutdown() override;
  bool LoadTexture(const std::string& path, int index, bool repeat) override;
  void GetTextureInfo(int index, TextureInfo& info) override;
  void SetScroll(double x, double y) override {
    scrollX = x;
    scrollY = y;
  }
  void SetBackgroundColor(const Color& color) override { backgroundColor = color; }
  void BeginFrame() override;
  void EndFrame() override;
  void Add(Stage* stage) override;
  void Add(const std::vector<Quad>& quads) override;
  void RenderFrame() override;
  void UpdateRenderWindowDimensions(int width, int height) override {
    windowWidth = width;
    windowHeight = height;
  }
  void GetRenderWidthAndHeight(int& width, int& height) override {
    width = renderWidth;
    height = renderHeight;
  }

  // Uniform scale of the virtual screen into the window and the offsets that centre it.
  void CalcLetterBoxes(int renderWidth, int renderHeight, int windowWidth, int windowHeight, double& offsetX,
                       double& offsetY, double& scale) const;

  // What the last EndFrame built (for tests and measurements).
  const std::vector<TriangleBatch>& GetBatches() const { return batches; }
  int GetVertexCount() const { return vertexCount; }
  const float* GetModelViewMatrix() const { return modelView; }

 private:
  enum Uniform { UMVMatrix, UPMatrix, USampler, UColor, UColor1, UColor2, UColor3, UReplace1, UReplace2, UReplace3, UniformCount };

  bool BuildPrograms(const std::string& shaderDirectory);
  void DeleteProgramsAndShaders();
  void PointAttributes();

  GLuint textureNames[kTextureSlots] = {};
  TextureInfo textures[kTextureSlots] = {};
  GLuint vertexBuffer = 0;
  std::vector<float> vertexStore;
  // -1 where a program does not use the uniform, so nothing can be written through it.
  GLint uniforms[kProgramCount][UniformCount];
  GLuint shaders[kProgramCount * 2] = {};
  GLuint programs[kProgramCount] = {};
  int vertexCount = 0;
  int renderWidth = 0;
  int renderHeight = 0;
  int windowWidth = 0;
  int windowHeight = 0;
  std::vector<Quad> pendingQuads;
  std::vector<TriangleBatch> batches;
  float modelView[16];
  float projection[16];
  Color backgroundColor;
  double scrollX = 0;
  double scrollY = 0;
  bool texturesGenerated = false;
};
