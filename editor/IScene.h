// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <cstdint>

#include "devices/Keyboard.h"
#include "render/Color.h"
#include "render/Quad.h"

class IRender;

// What a scene tells the render loop besides its quads, filled every frame.
struct SceneInfo {
  double scrollX = 0;
  double scrollY = 0;
  Color background;
  int64_t reserved = 0;  // always 0; kept so the record has room for a later use
};

// The application's scene as the two loops see it. Init and Shutdown run on the main thread
// while the sequencer thread is not running; Update runs on the sequencer thread only.
class IScene {
 public:
  virtual ~IScene() = default;
  // Start-up; false when the program must stop. The renderer is borrowed (may be null).
  virtual bool Init(IRender* render) = 0;
  // One frame: dt seconds since the previous frame, the frame's keys; fills quads and scene.
  virtual void Update(double dt, Controls controls, QuadList& quads, SceneInfo& scene) = 0;
  virtual void Shutdown() = 0;
};
