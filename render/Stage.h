// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <vector>

#include "render/Quad.h"

// Something the stage can hold; type 0 is a sprite.
class IStageElement {
 public:
  virtual ~IStageElement() = default;
  virtual int GetType() = 0;
  virtual BoundingBox GetBoundingBox() = 0;
  virtual bool IsVisible() = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual int GetNumQuads() = 0;
  // A quad owned by the element, valid until the next call.
  virtual Quad* GetQuad(int index) = 0;
};

// An ordered list of stage elements; the stage does not own them.
class Stage {
 public:
  void Init() { children.clear(); }
  void Shutdown() { children.clear(); }
  void RemoveAllChildren() { children.clear(); }
  void AddChild(IStageElement* element) { children.push_back(element); }
  int GetNumChilds() const { return static_cast<int>(children.size()); }
  // Null when `i` is outside the list.
  IStageElement* GetChildAt(int i) const {
    return i >= 0 && i < GetNumChilds() ? children[i] : nullptr;
  }

 private:
  std::vector<IStageElement*> children;
};
