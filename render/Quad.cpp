// SPDX-License-Identifier: LGPL-2.1-or-later
#include "render/Quad.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>

namespace {

// Append-only: an entry is complete before the count that makes it visible grows, so readers
// need no lock; writers take one so that two threads adding a set cannot share a slot.
constexpr int kReplaceColorSets = 256;
ReplaceColors replaceTable[kReplaceColorSets];
std::atomic<int> replaceCount{1};  // entry 0 replaces nothing
std::mutex replaceWriters;

int ReplaceColorsIndex(const ReplaceColors& set) {
  const int known = replaceCount.load(std::memory_order_acquire);
  for (int i = 0; i < known; ++i) {
    if (replaceTable[i] == set) return i;
  }
  std::lock_guard<std::mutex> lock(replaceWriters);
  const int count = replaceCount.load(std::memory_order_relaxed);
  for (int i = known; i < count; ++i) {
    if (replaceTable[i] == set) return i;
  }
  if (count == kReplaceColorSets) return 0;
  replaceTable[count] = set;
  replaceCount.store(count + 1, std::memory_order_release);
  return count;
}

}  // namespace

void InitQuad(Quad* q, double width, double height, int textureIndex, int shaderIndex, bool isTriangle,
              bool reflectX, bool reflectY, Color color) {
  q->textureIndex = textureIndex;
  q->shaderIndex = shaderIndex;
  q->isTriangle = isTriangle;
  q->color = color;
  q->replaceColors = 0;

  const double xs[4] = {0, 0, width, width};
  const double ys[4] = {height, 0, height, 0};
  double us[4] = {0, 0, 1, 1};
  double vs[4] = {1, 0, 1, 0};
  if (reflectX) {
    us[0] = us[1] = 1;
    us[2] = us[3] = 0;
  }
  for (int i = 0; i < 4; ++i) {
    q->corners[i][0] = xs[i];
    q->corners[i][1] = ys[i];
    q->textureCoords[i][0] = us[i];
    q->textureCoords[i][1] = reflectY ? 1 - vs[i] : vs[i];
  }
}

void SetQuadReplaceColor(Quad* q, const Color& c1, const Color& c2, const Color& c3, const Color& r1,
                         const Color& r2, const Color& r3) {
  q->replaceColors = ReplaceColorsIndex(ReplaceColors{c1, c2, c3, r1, r2, r3});
}

const ReplaceColors& QuadReplaceColors(const Quad& q) {
  const int index = q.replaceColors;
  return replaceTable[index > 0 && index < replaceCount.load(std::memory_order_acquire) ? index : 0];
}

void GetQuadBoundingBox(const Quad* q, BoundingBox& box) {
  const int count = q->isTriangle ? 3 : 4;
  box.minX = box.maxX = q->corners[0][0];
  box.minY = box.maxY = q->corners[0][1];
  for (int i = 1; i < count; ++i) {
    box.minX = std::min<double>(box.minX, q->corners[i][0]);
    box.maxX = std::max<double>(box.maxX, q->corners[i][0]);
    box.minY = std::min<double>(box.minY, q->corners[i][1]);
    box.maxY = std::max<double>(box.maxY, q->corners[i][1]);
  }
}

void GetQuadsBoundingBox(const std::vector<Quad>& quads, BoundingBox& box) {
  box = BoundingBox{};
  for (size_t i = 0; i < quads.size(); ++i) {
    BoundingBox one;
    GetQuadBoundingBox(&quads[i], one);
    if (i == 0) {
      box = one;
      continue;
    }
    box.minX = std::min(box.minX, one.minX);
    box.minY = std::min(box.minY, one.minY);
    box.maxX = std::max(box.maxX, one.maxX);
    box.maxY = std::max(box.maxY, one.maxY);
  }
}

void TranslateQuad(Quad* q, double dx, double dy) {
  for (auto& corner : q->corners) {
    corner[0] = static_cast<float>(corner[0] + dx);
    corner[1] = static_cast<float>(corner[1] + dy);
  }
}

void ScaleQuad(Quad* q, double sx, double sy) {
  const double left = q->corners[0][0];
  const double right = left + (q->corners[2][0] - left) * sx;
  const double bottom = q->corners[1][1];
  const double top = bottom + (q->corners[0][1] - bottom) * sy;
  q->corners[2][0] = q->corners[3][0] = right;
  q->corners[0][1] = q->corners[2][1] = top;
}

void ReflectQuad(Quad* q, bool reflectX, bool reflectY) {
  auto& tc = q->textureCoords;
  if (reflectX) {
    std::swap(tc[0][0], tc[2][0]);
    std::swap(tc[1][0], tc[3][0]);
  }
  if (reflectY) {
    std::swap(tc[0][1], tc[1][1]);
    std::swap(tc[2][1], tc[3][1]);
  }
}

void ScaleQuadTexture(Quad* q, double su, double sv) {
  for (auto& tc : q->textureCoords) {
    tc[0] *= su;
    tc[1] *= sv;
  }
}
