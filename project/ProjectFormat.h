#pragma once
// Shared by the project reader and writer: the format version written, and the limits the
// editor keeps values within, which loading enforces.

constexpr int kProjectVersion = 9;

constexpr int kMinBpm = 1;
constexpr int kMaxBpm = 255;
constexpr int kMaxSongParts = 15;
