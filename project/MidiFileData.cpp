// SPDX-License-Identifier: LGPL-2.1-or-later
#include "project/MidiFileData.h"

#include <cstdio>

namespace {

// Ticks beyond this are not music but damage: at 960 ticks per quarter and 30 BPM it is
// still more than eight days.
constexpr uint64_t kMaxTick = 0x7FFFFFFF;

std::string Format(const char* format, long a, long b = 0, long c = 0) {
  char text[160];
  snprintf(text, sizeof text, format, a, b, c);
  return text;
}

uint32_t BigEndian(std::string_view bytes, size_t pos, int count) {
  uint32_t value = 0;
  for (int i = 0; i < count; ++i) value = (value << 8) | static_cast<uint8_t>(bytes[pos + i]);
  return value;
}

// Reads the events of one track chunk (its data without the chunk header).
class TrackParser {
 public:
  TrackParser(std::string_view data, int track) : data(data), track(track) {}

  bool Parse(std::vector<MidiEvent>& events, std::string& error) {
    uint64_t tick = 0;
    uint8_t running = 0;
    while (pos < data.size()) {
      uint32_t delta;
      if (!Number(delta, error)) return false;
      tick += delta;
      if (tick > kMaxTick) return Fail(error, "track %ld: time of the event at byte %ld is beyond any song");
      if (pos >= data.size()) return Fail(error, "track %ld: the event at byte %ld is cut off");
      MidiEvent e;
      e.tick = static_cast<uint32_t>(tick);
      const uint8_t first = static_cast<uint8_t>(data[pos]);
      if (first & 0x80) {
        e.status = first;
        ++pos;
      } else if (running) {
        e.status = running;  // running status: the data bytes follow directly
      } else {
        return Fail(error, "track %ld: data byte without a status at byte %ld");
      }
      if (e.status == 0xFF) {
        if (pos >= data.size()) return Fail(error, "track %ld: the meta event at byte %ld is cut off");
        e.data1 = static_cast<uint8_t>(data[pos++]);
        if (!Payload(e.data, error)) return false;
        // Some writers keep running status across meta events; keeping it reads both kinds.
        if (e.data1 == 0x2F) {
          events.push_back(std::move(e));
          return true;  // whatever follows the end of the track is not part of it
        }
      } else if (e.status == 0xF0 || e.status == 0xF7) {
        if (!Payload(e.data, error)) return false;
        running = 0;
      } else if (e.status >= 0xF0) {
        return Fail(error, "track %ld: system message that has no place in a file at byte %ld");
      } else {
        const uint8_t kind = e.status & 0xF0;
        const int count = kind == 0xC0 || kind == 0xD0 ? 1 : 2;
        if (pos + count > data.size()) return Fail(error, "track %ld: the event at byte %ld is cut off");
        uint8_t bytes[2] = {0, 0};
        for (int i = 0; i < count; ++i) {
          bytes[i] = static_cast<uint8_t>(data[pos++]);
          if (bytes[i] & 0x80) return Fail(error, "track %ld: status byte where data belongs at byte %ld");
        }
        e.data1 = bytes[0];
        e.data2 = bytes[1];
        running = e.status;
      }
      events.push_back(std::move(e));
    }
    return true;  // no end-of-track event: tolerated, the chunk length says where it ends
  }

 private:
  bool Fail(std::string& error, const char* format) {
    error = Format(format, track, static_cast<long>(pos));
    return false;
  }
  // A variable-length quantity: at most four bytes of seven bits.
  bool Number(uint32_t& value, std::string& error) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
      if (pos >= data.size()) return Fail(error, "track %ld: number cut off at byte %ld");
      const uint8_t b = static_cast<uint8_t>(data[pos++]);
      value = (value << 7) | (b & 0x7F);
      if (!(b & 0x80)) return true;
    }
    return Fail(error, "track %ld: number longer than four bytes at byte %ld");
  }
  bool Payload(std::string& out, std::string& error) {
    uint32_t length;
    if (!Number(length, error)) return false;
    if (length > data.size() - pos) return Fail(error, "track %ld: event length beyond the chunk's end at byte %ld");
    out.assign(data.substr(pos, length));
    pos += length;
    return true;
  }

  std::string_view data;
  int track;
  size_t pos = 0;
};

}  // namespace

bool MidiFileData::Read(std::string_view bytes, std::string& error) {
  tracks.clear();
  if (bytes.size() < 14 || bytes.substr(0, 4) != "MThd") {
    error = "not a standard MIDI file (no MThd header)";
    return false;
  }
  const uint32_t headerLength = BigEndian(bytes, 4, 4);
  if (headerLength < 6 || headerLength > bytes.size() - 8) {
    error = Format("header chunk of %ld bytes in a file of %ld", headerLength, static_cast<long>(bytes.size()));
    return false;
  }
  format = static_cast<int>(BigEndian(bytes, 8, 2));
  const uint32_t declared = BigEndian(bytes, 10, 2);
  division = static_cast<uint16_t>(BigEndian(bytes, 12, 2));
  if (format > 2) {
    error = Format("unknown MIDI file format %ld", format);
    return false;
  }
  if (division & 0x8000) {
    const int fps = -static_cast<int8_t>(division >> 8);
    if ((fps != 24 && fps != 25 && fps != 29 && fps != 30) || (division & 0xFF) == 0) {
      error = Format("impossible SMPTE division (%ld frames per second, %ld ticks per frame)", fps, division & 0xFF);
      return false;
    }
  } else if (division == 0) {
    error = "division of 0 ticks per quarter note";
    return false;
  }

  size_t pos = 8 + headerLength;
  while (tracks.size() < declared) {
    if (bytes.size() - pos < 8) {
      error = Format("file ends after %ld of %ld track chunks", static_cast<long>(tracks.size()), declared);
      return false;
    }
    const uint32_t length = BigEndian(bytes, pos + 4, 4);
    if (length > bytes.size() - pos - 8) {
      error = Format("chunk %ld is truncated: %ld bytes declared, %ld present", static_cast<long>(tracks.size()),
                     length, static_cast<long>(bytes.size() - pos - 8));
      return false;
    }
    const bool isTrack = bytes.substr(pos, 4) == "MTrk";
    const std::string_view data = bytes.substr(pos + 8, length);
    pos += 8 + length;
    if (!isTrack) continue;
    tracks.emplace_back();
    TrackParser parser(data, static_cast<int>(tracks.size()) - 1);
    if (!parser.Parse(tracks.back(), error)) return false;
  }
  return true;
}

double MidiFileData::TicksPerQuarter() const {
  if (!(division & 0x8000)) return division;
  const int fps = -static_cast<int8_t>(division >> 8);
  const double framesPerSecond = fps == 29 ? 29.97 : fps;
  return framesPerSecond * (division & 0xFF) * 0.5;  // half a second per quarter: 120 BPM
}
