// SPDX-License-Identifier: LGPL-2.1-or-later
#include "render/Render.h"

#include <fcntl.h>
#include <lodepng.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "render/Stage.h"

namespace {

const char* const kShaderFiles[Render::kProgramCount][2] = {
    {"Shader.vsh", "Shader.fsh"},
    {"Shader2.vsh", "Shader2.fsh"},
    {"Shader3.vsh", "Shader3.fsh"},
    {"Shader4.vsh", "Shader4.fsh"},
};

const char* const kUniformNames[] = {"uMVMatrix",     "uPMatrix",      "uSampler",      "uColor",
                                    "uColor1",       "uColor2",       "uColor3",       "uReplaceColor1",
                                    "uReplaceColor2", "uReplaceColor3"};

// Which uniforms each program reads, in the order of kUniformNames.
const bool kProgramUniforms[Render::kProgramCount][10] = {
    {true, true, true, false, false, false, false, false, false, false},
    {true, true, false, true, false, false, false, false, false, false},
    {true, true, true, true, false, false, false, false, false, false},
    {true, true, true, false, true, true, true, true, true, true},
};

constexpr GLuint kPositionAttribute = 0;
constexpr GLuint kTextureCoordAttribute = 1;
constexpr int kVertexBytes = Render::kFloatsPerVertex * sizeof(float);

// True for a regular file that can be opened; a directory or a FIFO in a file's place is
// refused before any reader (the C++ streams throw on a directory, lodepng reads it as garbage).
bool IsReadableFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  close(fd);
  return regular;
}

// Empties `source`, then fills it with the whole file; false when it is not a regular file
// or cannot be read to its end.
bool LoadShader(const std::string& path, std::string& source) {
  source.clear();
  if (!IsReadableFile(path)) return false;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0) source.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return n == 0;
}

// The info log of a shader or a program (pass glGetShaderiv/glGetShaderInfoLog or the program
// pair), without the trailing blank lines drivers add.
std::string InfoLog(GLuint object, void (*getLength)(GLuint, GLenum, GLint*),
                    void (*getLog)(GLuint, GLsizei, GLsizei*, GLchar*)) {
  GLint length = 0;
  getLength(object, GL_INFO_LOG_LENGTH, &length);
  std::string log(std::max(length, 1), '\0');
  getLog(object, length, nullptr, log.data());
  log.resize(std::strlen(log.c_str()));
  while (!log.empty() && (log.back() == '\n' || log.back() == ' ')) log.pop_back();
  return log;
}

bool SameState(const TriangleBatch& batch, const Quad& q) {
  if (batch.textureIndex != q.textureIndex || batch.shaderIndex != q.shaderIndex) return false;
  switch (q.shaderIndex) {
    case kShaderFlat:
    case kShaderTintedTexture:
      return batch.color == q.color;
    case kShaderReplaceColors:
      return batch.replaceColors == q.replaceColors;  // equal sets share their index
    default:
      return true;
  }
}

void SetIdentity(float* m) {
  for (int i = 0; i < 16; ++i) m[i] = i % 5 == 0 ? 1.0f : 0.0f;
}

}  // namespace

IRender* IRender::Create() { return new Render(); }

bool BuildFrameBatches(const std::vector<Quad>& quads, std::vector<float>& vertices,
                       std::vector<TriangleBatch>& batches, int& vertexCount) {
  batches.clear();
  vertexCount = 0;
  size_t needed = 0;
  for (const Quad& q : quads) {
    if ((q.textureIndex < 0 && q.shaderIndex != kShaderFlat) || (q.textureIndex >= 0 && q.shaderIndex < 0)) {
      return false;
    }
    needed += q.isTriangle ? 3 : 6;
  }
  // Frames larger than the usual capacity (a long help page over a busy grid) grow the store
  // instead of losing quads; the store is never written past its end.
  if (vertices.size() < needed * Render::kFloatsPerVertex) {
    vertices.resize(std::max(needed * Render::kFloatsPerVertex, vertices.size() * 2));
  }

  float* out = vertices.data();
  static const int kTriangleCorners[6] = {0, 1, 2, 1, 2, 3};
  for (const Quad& q : quads) {
    const int corners = q.isTriangle ? 3 : 6;
    for (int i = 0; i < corners; ++i) {
      const int c = kTriangleCorners[i];
      *out++ = q.corners[c][0];
      *out++ = q.corners[c][1];
      *out++ = 0.0f;
      *out++ = q.textureCoords[c][0];
      *out++ = q.textureCoords[c][1];
    }
    const int triangles = q.isTriangle ? 1 : 2;
    if (!batches.empty() && SameState(batches.back(), q)) {
      batches.back().triangleCount += triangles;
      continue;
    }
    TriangleBatch batch;
    batch.textureIndex = q.textureIndex;
    batch.shaderIndex = q.shaderIndex;
    batch.triangleCount = triangles;
    batch.color = q.color;
    batch.replaceColors = q.replaceColors;
    const ReplaceColors& replace = QuadReplaceColors(q);
    batch.color1 = replace.color1;
    batch.color2 = replace.color2;
    batch.color3 = replace.color3;
    batch.replaceColor1 = replace.replace1;
    batch.replaceColor2 = replace.replace2;
    batch.replaceColor3 = replace.replace3;
    batches.push_back(batch);
  }
  vertexCount = static_cast<int>(needed);
  return true;
}

Render::Render() {
  SetIdentity(modelView);
  SetIdentity(projection);
  for (auto& program : uniforms) std::fill(std::begin(program), std::end(program), -1);
}

Render::~Render() = default;

void Render::CalcLetterBoxes(int rw, int rh, int ww, int wh, double& offsetX, double& offsetY, double& scale) const {
  const double renderW = rw, renderH = rh, windowW = ww, windowH = wh;
  if (renderW <= 0 || renderH <= 0) {
    offsetX = offsetY = 0;
    scale = 1;
    return;
  }
  scale = std::min(windowH / renderH, windowW / renderW);
  offsetX = std::floor((windowW - std::ceil(renderW * scale)) * 0.5);
  offsetY = std::floor((windowH - std::ceil(renderH * scale)) * 0.5);
}

bool Render::BuildPrograms(const std::string& shaderDirectory) {
  for (int p = 0; p < kProgramCount; ++p) programs[p] = glCreateProgram();

  for (int p = 0; p < kProgramCount; ++p) {
    for (int stage = 0; stage < 2; ++stage) {
      const std::string path = shaderDirectory + kShaderFiles[p][stage];
      std::string source;
      if (!LoadShader(path, source)) {
        printf("error: cannot read shader file %s\n", path.c_str());
        return false;
      }
      GLuint shader = glCreateShader(stage == 0 ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER);
      shaders[p * 2 + stage] = shader;
      const char* text = source.c_str();
      glShaderSource(shader, 1, &text, nullptr);
      glCompileShader(shader);
      GLint compiled = 0;
      glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
      if (!compiled) {
        printf("error: shader %s does not compile: %s\n", path.c_str(),
               InfoLog(shader, glGetShaderiv, glGetShaderInfoLog).c_str());
        return false;
      }
    }
  }

  for (int p = 0; p < kProgramCount; ++p) {
    glAttachShader(programs[p], shaders[p * 2]);
    glAttachShader(programs[p], shaders[p * 2 + 1]);
    glBindAttribLocation(programs[p], kPositionAttribute, "aVertexPosition");
    if (p != kShaderFlat) glBindAttribLocation(programs[p], kTextureCoordAttribute, "aTextureCoord");
  }
  bool linked = true;
  for (int p = 0; p < kProgramCount; ++p) {
    glLinkProgram(programs[p]);
    GLint status = 0;
    glGetProgramiv(programs[p], GL_LINK_STATUS, &status);
    if (!status) {
      printf("error: shader program %s/%s does not link: %s\n", kShaderFiles[p][0], kShaderFiles[p][1],
             InfoLog(programs[p], glGetProgramiv, glGetProgramInfoLog).c_str());
      linked = false;
    }
  }
  if (!linked) return false;

  for (int p = 0; p < kProgramCount; ++p) {
    for (int u = 0; u < UniformCount; ++u) {
      uniforms[p][u] = kProgramUniforms[p][u] ? glGetUniformLocation(programs[p], kUniformNames[u]) : -1;
    }
  }
  for (int i = 0; i < kProgramCount * 2; ++i) {
    glDetachShader(programs[i / 2], shaders[i]);
    glDeleteShader(shaders[i]);
    shaders[i] = 0;
  }
  return true;
}

void Render::DeleteProgramsAndShaders() {
  for (GLuint& shader : shaders) {
    if (shader) glDeleteShader(shader);
    shader = 0;
  }
  for (GLuint& program : programs) {
    if (program) glDeleteProgram(program);
    program = 0;
  }
  for (auto& program : uniforms) std::fill(std::begin(program), std::end(program), -1);
}

void Render::PointAttributes() {
  glEnableVertexAttribArray(kPositionAttribute);
  if (glGetError() != GL_NO_ERROR) return;
  glVertexAttribPointer(kPositionAttribute, 3, GL_FLOAT, GL_FALSE, kVertexBytes, nullptr);
  if (glGetError() != GL_NO_ERROR) return;
  glEnableVertexAttribArray(kTextureCoordAttribute);
  if (glGetError() != GL_NO_ERROR) return;
  glVertexAttribPointer(kTextureCoordAttribute, 2, GL_FLOAT, GL_FALSE, kVertexBytes,
                        reinterpret_cast<const void*>(3 * sizeof(float)));
}

bool Render::Init(int rw, int rh, int ww, int wh, const Color& background, const std::string& shaderDirectory) {
  backgroundColor = background;
  renderWidth = rw;
  renderHeight = rh;
  windowWidth = ww;
  windowHeight = wh;

  // A program that cannot be built leaves nothing sensible to draw: report it and let the
  // caller stop instead of showing an empty window.
  if (!BuildPrograms(shaderDirectory)) {
    DeleteProgramsAndShaders();
    return false;
  }

  glGenTextures(kTextureSlots, textureNames);
  texturesGenerated = true;

  double offsetX = 0, offsetY = 0, scale = 1;
  CalcLetterBoxes(renderWidth, renderHeight, windowWidth, windowHeight, offsetX, offsetY, scale);
  glViewport(static_cast<GLint>(offsetX), static_cast<GLint>(offsetY), static_cast<GLsizei>(windowWidth - 2 * offsetX),
             static_cast<GLsizei>(windowHeight - 2 * offsetY));

  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

  glGenBuffers(1, &vertexBuffer);
  glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
  vertexStore.assign(size_t(kInitialVertexCapacity) * kFloatsPerVertex, 0.0f);
  glBufferData(GL_ARRAY_BUFFER, vertexStore.size() * sizeof(float), vertexStore.data(), GL_DYNAMIC_DRAW);
  if (glGetError() == GL_NO_ERROR) PointAttributes();
  return true;
}

void Render::Shutdown() {
  if (vertexBuffer) glDeleteBuffers(1, &vertexBuffer);
  vertexBuffer = 0;
  DeleteProgramsAndShaders();
  std::vector<float>().swap(vertexStore);
}

bool Render::LoadTexture(const std::string& path, int index, bool repeat) {
  if (index < 0 || index >= kTextureSlots) {
    printf("error: texture slot %d does not exist (0 to %d)\n", index, kTextureSlots - 1);
    return false;
  }
  if (!IsReadableFile(path)) {
    printf("error: cannot read texture file %s\n", path.c_str());
    return false;
  }
  std::vector<unsigned char> image;
  unsigned width = 0, height = 0;
  const unsigned decodeError = lodepng::decode(image, width, height, path, LCT_RGBA, 8);
  if (decodeError) {
    printf("error: decoder error %u: %s (%s)\n", decodeError, lodepng_error_text(decodeError), path.c_str());
    return false;
  }
  // Stored upside down so that texture row 0 is the bottom row of the picture (v = 0 at the bottom).
  const size_t rowBytes = size_t(width) * 4;
  for (unsigned y = 0; y < height / 2; ++y) {
    std::swap_ranges(image.begin() + y * rowBytes, image.begin() + (y + 1) * rowBytes,
                     image.begin() + (height - 1 - y) * rowBytes);
  }
  if (!texturesGenerated) {
    printf("error: texture %s loaded before the renderer was initialised\n", path.c_str());
    return false;
  }

  const GLint wrap = repeat ? GL_REPEAT : GL_CLAMP_TO_EDGE;
  glBindTexture(GL_TEXTURE_2D, textureNames[index]);
  bool ok = glGetError() == GL_NO_ERROR;
  const GLenum parameters[4] = {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER};
  const GLint values[4] = {wrap, wrap, GL_NEAREST, GL_NEAREST};
  for (int i = 0; i < 4 && ok; ++i) {
    glTexParameteri(GL_TEXTURE_2D, parameters[i], values[i]);
    ok = glGetError() == GL_NO_ERROR;
  }
  if (ok) {
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, image.data());
    ok = glGetError() == GL_NO_ERROR;
  }
  if (!ok) {
    printf("error: texture %s (%u x %u) could not be uploaded\n", path.c_str(), width, height);
    return false;
  }
  textures[index] = TextureInfo{static_cast<int>(width), static_cast<int>(height), repeat};
  return true;
}

void Render::GetTextureInfo(int index, TextureInfo& info) {
  info = index >= 0 && index < kTextureSlots ? textures[index] : TextureInfo{};
}

void Render::BeginFrame() {
  pendingQuads.clear();
  batches.clear();
  vertexCount = 0;
}

void Render::Add(Stage* stage) {
  if (!stage) return;
  for (int i = 0; i < stage->GetNumChilds(); ++i) {
    IStageElement* element = stage->GetChildAt(i);
    if (!element || !element->IsVisible() || element->GetType() != 0) continue;
    for (int q = 0; q < element->GetNumQuads(); ++q) pendingQuads.push_back(*element->GetQuad(q));
  }
}

void Render::Add(const std::vector<Quad>& quads) { pendingQuads.insert(pendingQuads.end(), quads.begin(), quads.end()); }

void Render::EndFrame() {
  if (!BuildFrameBatches(pendingQuads, vertexStore, batches, vertexCount)) return;

  glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertexCount) * kVertexBytes, vertexStore.data(), GL_DYNAMIC_DRAW);
  if (glGetError() == GL_NO_ERROR) PointAttributes();

  double offsetX = 0, offsetY = 0, scale = 1;
  CalcLetterBoxes(renderWidth, renderHeight, windowWidth, windowHeight, offsetX, offsetY, scale);
  glViewport(0, 0, windowWidth, windowHeight);
  const float tx = static_cast<float>(std::max(offsetX, 0.0));
  const float ty = static_cast<float>(std::max(offsetY, 0.0));
  glm::mat4 mv = glm::ortho(0.0f, float(windowWidth), 0.0f, float(windowHeight), -1024.0f, 1024.0f);
  mv = glm::translate(mv, glm::vec3(tx, ty, 0.0f));
  mv = glm::scale(mv, glm::vec3(float(scale), float(scale), 1.0f));
  std::memcpy(modelView, glm::value_ptr(mv), sizeof(modelView));
  SetIdentity(projection);
}

void Render::RenderFrame() {
  glClearColor(float(backgroundColor.r), float(backgroundColor.g), float(backgroundColor.b), float(backgroundColor.a));
  if (glGetError() != GL_NO_ERROR) return;
  glClear(GL_COLOR_BUFFER_BIT);
  if (glGetError() != GL_NO_ERROR) return;

  // Any GL error ends this frame's drawing; the caller still swaps and the next frame starts over.
  auto failed = [] { return glGetError() != GL_NO_ERROR; };
  int firstVertex = 0;
  int currentProgram = -1;
  int previousShader = -1;
  int boundTexture = -1;
  for (const TriangleBatch& batch : batches) {
    const int shader = batch.shaderIndex;
    const int count = 3 * batch.triangleCount;
    bool programChanged = false;
    if (shader != previousShader && shader >= 0 && shader < kProgramCount) {
      glUseProgram(programs[shader]);
      if (failed()) return;
      currentProgram = shader;
      programChanged = true;
      glUniformMatrix4fv(uniforms[shader][UMVMatrix], 1, GL_FALSE, modelView);
      if (failed()) return;
      glUniformMatrix4fv(uniforms[shader][UPMatrix], 1, GL_FALSE, projection);
      if (failed()) return;
    }
    // A batch with an unknown program draws with the previous one; before any program there is
    // nothing to draw it with.
    if (currentProgram < 0) {
      previousShader = shader;
      firstVertex += count;
      continue;
    }
    const GLint* u = uniforms[currentProgram];
    auto rgba = [&](GLint location, const Color& c) {
      glUniform4f(location, float(c.r), float(c.g), float(c.b), float(c.a));
      return !failed();
    };
    auto rgb = [&](GLint location, const Color& c) {
      glUniform3f(location, float(c.r), float(c.g), float(c.b));
      return !failed();
    };
    if ((shader == kShaderFlat || shader == kShaderTintedTexture) && !rgba(u[UColor], batch.color)) return;
    if (shader == kShaderReplaceColors &&
        !(rgb(u[UColor1], batch.color1) && rgb(u[UColor2], batch.color2) && rgb(u[UColor3], batch.color3) &&
          rgb(u[UReplace1], batch.replaceColor1) && rgb(u[UReplace2], batch.replaceColor2) &&
          rgb(u[UReplace3], batch.replaceColor3))) {
      return;
    }
    if (shader == kShaderTexture || shader == kShaderTintedTexture || shader == kShaderReplaceColors) {
      if (batch.textureIndex != boundTexture || previousShader == kShaderFlat || programChanged) {
        glActiveTexture(GL_TEXTURE0);
        if (failed()) return;
        // A slot outside the table samples no texture rather than reading past the name table.
        const bool inTable = batch.textureIndex >= 0 && batch.textureIndex < kTextureSlots;
        glBindTexture(GL_TEXTURE_2D, inTable ? textureNames[batch.textureIndex] : 0);
        if (failed()) return;
        glUniform1i(u[USampler], 0);
        if (failed()) return;
        boundTexture = batch.textureIndex;
      }
    }
    glDrawArrays(GL_TRIANGLES, firstVertex, count);
    if (failed()) return;
    firstVertex += count;
    previousShader = shader;
  }
}
