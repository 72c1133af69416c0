// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <array>
#include <cstdint>

// The 64 x 64 window icon: a small step grid with magenta note bars and an orange dot above a
// piano keyboard, in twelve opaque colours.
constexpr int kWindowIconSize = 64;

// Pixels row by row from the top left, each 0xAARRGGBB with alpha 0xff.
std::array<uint32_t, kWindowIconSize * kWindowIconSize> DrawWindowIcon();

// The _NET_WM_ICON property value: width, height, then the pixels, one unsigned long each.
std::array<unsigned long, 2 + kWindowIconSize * kWindowIconSize> MakeWindowIconProperty();
