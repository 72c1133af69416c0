// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Builds a standard MIDI file (SMF format 1) in memory. Events are added per track in
// ascending tick order; each is written with its delta time and full status byte (no running
// status), so the bytes follow the order of the calls exactly.
class StandardMidiFile {
 public:
  // The largest tick a delta time can reach (variable-length quantities hold 28 bits).
  static constexpr uint32_t kMaxTick = 0x0FFFFFFF;

  explicit StandardMidiFile(int ticksPerQuarter) : division(ticksPerQuarter) {}

  // Returns the new track's index.
  int AddTrack();
  // A meta event: type and its data bytes.
  void Meta(int track, uint32_t tick, uint8_t type, std::string_view data);
  // A channel message with one or two data bytes; channel 0..15, data limited to 0..127.
  void Channel(int track, uint32_t tick, uint8_t status, int channel, int data1);
  void Channel(int track, uint32_t tick, uint8_t status, int channel, int data1, int data2);
  // Ends a track (meta event 0x2F); nothing should be added to it afterwards.
  void End(int track, uint32_t tick);

  // The whole file: the header chunk and one chunk per track.
  std::string Bytes() const;

 private:
  struct Track {
    std::string data;
    uint32_t lastTick = 0;
  };
  void Delta(Track& t, uint32_t tick);

  int division;
  std::vector<Track> tracks;
};
