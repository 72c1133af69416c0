// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

// A colour as four components 0..1, shared by the command line, the editor and the renderer.
struct Color {
  double r = 0;
  double g = 0;
  double b = 0;
  double a = 0;
  bool operator==(const Color&) const = default;
};
