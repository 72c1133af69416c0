// SPDX-License-Identifier: LGPL-2.1-or-later
#include "project/StandardMidiFile.h"

#include <algorithm>

namespace {

void AppendVariableLength(std::string& out, uint32_t value) {
  value = std::min(value, StandardMidiFile::kMaxTick);
  char bytes[4];
  int n = 0;
  do {
    bytes[n++] = static_cast<char>(value & 0x7F);
    value >>= 7;
  } while (value > 0);
  while (n > 1) out += static_cast<char>(bytes[--n] | 0x80);
  out += bytes[0];
}

void AppendBigEndian(std::string& out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

char DataByte(int value) { return static_cast<char>(std::clamp(value, 0, 127)); }

}  // namespace

int StandardMidiFile::AddTrack() {
  tracks.emplace_back();
  return static_cast<int>(tracks.size()) - 1;
}

void StandardMidiFile::Delta(Track& t, uint32_t tick) {
  tick = std::min(std::max(tick, t.lastTick), kMaxTick);
  AppendVariableLength(t.data, tick - t.lastTick);
  t.lastTick = tick;
}

void StandardMidiFile::Meta(int track, uint32_t tick, uint8_t type, std::string_view data) {
  Track& t = tracks[track];
  Delta(t, tick);
  t.data += '\xFF';
  t.data += static_cast<char>(type);
  AppendVariableLength(t.data, static_cast<uint32_t>(data.size()));
  t.data += data;
}

void StandardMidiFile::Channel(int track, uint32_t tick, uint8_t status, int channel, int data1) {
  Track& t = tracks[track];
  Delta(t, tick);
  t.data += static_cast<char>((status & 0xF0) | (channel & 0x0F));
  t.data += DataByte(data1);
}

void StandardMidiFile::Channel(int track, uint32_t tick, uint8_t status, int channel, int data1, int data2) {
  Channel(track, tick, status, channel, data1);
  tracks[track].data += DataByte(data2);
}

void StandardMidiFile::End(int track, uint32_t tick) { Meta(track, tick, 0x2F, {}); }

std::string StandardMidiFile::Bytes() const {
  std::string out = "MThd";
  AppendBigEndian(out, 6, 4);
  AppendBigEndian(out, 1, 2);  // format 1: simultaneous tracks
  AppendBigEndian(out, static_cast<uint32_t>(tracks.size()), 2);
  AppendBigEndian(out, static_cast<uint32_t>(division), 2);
  for (const Track& t : tracks) {
    out += "MTrk";
    AppendBigEndian(out, static_cast<uint32_t>(t.data.size()), 4);
    out += t.data;
  }
  return out;
}
