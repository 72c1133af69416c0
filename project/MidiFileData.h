// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One event of a track chunk with its absolute tick; running status is already resolved.
struct MidiEvent {
  uint32_t tick = 0;   // from the start of the track, in the file's division
  uint8_t status = 0;  // 0x80..0xEF channel messages, 0xFF meta events, 0xF0 and 0xF7 system exclusive
  uint8_t data1 = 0;   // channel messages: the first data byte; meta events: the type
  uint8_t data2 = 0;   // channel messages with two data bytes: the second
  std::string data;    // meta and system exclusive events: the bytes after the length
};

// A standard MIDI file (format 0, 1 or 2) read into memory. The one reader of the program:
// the importer uses it, and the export's tests read the files the export writes with it.
struct MidiFileData {
  int format = 0;
  // Bit 15 clear: ticks per quarter note. Set: SMPTE time, the high byte minus the frames per
  // second (-24, -25, -29 for 29.97, -30), the low byte ticks per frame.
  uint16_t division = 0;
  std::vector<std::vector<MidiEvent>> tracks;  // one per MTrk chunk, up to its end-of-track event

  // Parses a whole file. Chunks of unknown types are skipped, as the format asks. False with a
  // message for a file that is not a MIDI file, a truncated chunk, an impossible length or a
  // malformed event; `tracks` is then incomplete.
  bool Read(std::string_view bytes, std::string& error);

  // Ticks per quarter note. SMPTE files count seconds, not beats; they are taken at 120 BPM.
  double TicksPerQuarter() const;
};
