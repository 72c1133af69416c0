// SPDX-License-Identifier: LGPL-2.1-or-later
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "player/Player.h"
#include "project/ExternalEffects.h"
#include "project/LineFields.h"
#include "project/ProjectFormat.h"
#include "project/SongSettings.h"
#include "sound/SFOutput.h"

// The loader accepts any bytes. Every number is checked before it becomes an index or is
// stored: a line whose session, track, step or note is out of range, or which lacks a field
// its version defines, is ignored with a message; values kept in attributes and notes are
// limited to what the editor can produce. A line that cannot be used also stops the lines
// that depend on it: after a bad "s" line the following "t" and "e" lines are ignored until
// the next good "s", after a bad "t" the "e" lines until the next good "t", so no note lands
// in another session or track than the file meant.

namespace {

// Longer lines cannot come from the writer (the longest, an "i" line, is a few hundred bytes
// plus two names); they are skipped without being kept in memory.
constexpr size_t kMaxLineLength = 64 * 1024;
// A damaged file could produce a message per line; after this many only a count is printed.
constexpr int kReportedLines = 32;

// Reads a file line by line with a fixed buffer, whatever the bytes and line lengths.
class LineReader {
 public:
  explicit LineReader(int fd) : fd(fd) {}

  // The next line without its '\n' (the last line may lack one). False at the end of the
  // file or on a read error (Failed()). tooLong marks a line over kMaxLineLength, returned empty.
  bool Next(std::string& line, bool& tooLong) {
    line.clear();
    tooLong = false;
    bool any = false;
    for (;;) {
      if (pos == length && !Fill()) return any && !failed;
      any = true;
      const char* start = buffer + pos;
      const char* newline = static_cast<const char*>(memchr(start, '\n', length - pos));
      size_t n = newline ? static_cast<size_t>(newline - start) : length - pos;
      if (!tooLong) {
        if (line.size() + n > kMaxLineLength) {
          tooLong = true;
          line.clear();
        } else {
          line.append(start, n);
        }
      }
      pos += n;
      if (newline) {
        ++pos;
        return true;
      }
    }
  }
  bool Failed() const { return failed; }

 private:
  bool Fill() {
    pos = length = 0;
    for (;;) {
      ssize_t n = read(fd, buffer, sizeof(buffer));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) failed = true;
      if (n <= 0) return false;
      length = static_cast<size_t>(n);
      return true;
    }
  }

  int fd;
  char buffer[64 * 1024];
  size_t pos = 0;
  size_t length = 0;
  bool failed = false;
};

class ProjectLoader {
 public:
  ProjectLoader(Player& player, bool selectDefaultInstrument)
      : player(player),
        store(*player.GetSessions()),
        synth(player.GetSynth()),
        selectDefaultInstrument(selectDefaultInstrument) {}

  // Reads the lines until the end of the file or an instrument that cannot be set.
  void ReadLines(LineReader& reader);
  void InitTracksFromTrack9();
  void ReadBackFromSynth();
  void SetSongLengths();
  void ReportSummary() const;
  bool Error() const { return error; }
  int IgnoredLines() const { return ignoredLines; }
  int64_t Version() const { return version; }

 private:
  void Line(const std::string& text);
  void P();
  void O();
  void S();
  void T();
  void E();
  void I();

  void Ignored();
  void PartlyIgnored();
  // The value limited to the range; notes that a value had to be changed.
  int Limit(int64_t value, IntRange range);
  double Limit(double value, const ExternalParamRange& range);
  bool Ints(size_t first, size_t count, int64_t* out) const;

  Player& player;
  SessionsStore& store;
  SFOutput* synth;
  bool selectDefaultInstrument;

  int64_t version = 1;
  int session = 0;  // -1 after an "s" line that could not be used
  int track = 0;    // -1 after a "t" line that could not be used
  bool error = false;
  int lineNumber = 0;
  int reported = 0;
  int ignoredLines = 0;
  bool limited = false;
  LineFields f;
};

void ProjectLoader::Ignored() {
  ++ignoredLines;
  if (++reported <= kReportedLines) printf("error: project file line %d ignored\n", lineNumber);
}

void ProjectLoader::PartlyIgnored() {
  if (++reported <= kReportedLines) printf("error: project file line %d partly ignored\n", lineNumber);
}

void ProjectLoader::ReportSummary() const {
  if (reported > kReportedLines) {
    printf("error: %d further project file problems not listed (%d lines ignored in all)\n", reported - kReportedLines,
           ignoredLines);
  }
}

int ProjectLoader::Limit(int64_t value, IntRange range) {
  if (value < range.min || value > range.max) limited = true;
  return range.Limit(value);
}

double ProjectLoader::Limit(double value, const ExternalParamRange& range) {
  if (value < range.min || value > range.max) limited = true;
  return range.Limit(value);
}

bool ProjectLoader::Ints(size_t first, size_t count, int64_t* out) const {
  for (size_t i = 0; i < count; ++i) {
    if (!f.Int(first + i, out[i])) return false;
  }
  return true;
}

void ProjectLoader::ReadLines(LineReader& reader) {
  std::string text;
  bool tooLong;
  while (!error && reader.Next(text, tooLong)) {
    ++lineNumber;
    if (tooLong) {
      Ignored();
      continue;
    }
    Line(text);
  }
}

void ProjectLoader::Line(const std::string& text) {
  f.Split(text);
  if (f.Count() == 0) return;
  limited = false;
  std::string_view tag = f.Field(0);
  if (tag == "p") {
    P();
  } else if (tag == "o") {
    O();
  } else if (tag == "s") {
    S();
  } else if (tag == "t") {
    T();
  } else if (tag == "e") {
    E();
  } else if (tag == "i") {
    I();
  } else {
    Ignored();
  }
  if (limited && ++reported <= kReportedLines) {
    printf("error: project file line %d: values limited to their ranges\n", lineNumber);
  }
}

// p version bpm noteQuantization gateQuantization scale base. Old files may end the line early:
// missing fields read as 0, and the version is honoured whenever it is there, since every
// later line is read by its layout.
void ProjectLoader::P() {
  int64_t v[6] = {};
  const size_t present = std::min<size_t>(f.Count() - 1, 6);
  if (present == 0 || !f.Int(1, v[0])) return Ignored();
  version = v[0];
  if (!Ints(2, present - 1, v + 1)) return PartlyIgnored();
  // A tempo of 0 would make the step time and the export's tempo infinite.
  player.SetBPM(Limit(v[1], kBpmRange));
  player.SetNoteQuantization(v[2] == 1);
  player.SetGateQuantization(v[3] == 1);
  ScaleInfo info;
  info.scale = static_cast<Scale>(Limit(v[4], kScaleRange));
  info.base = static_cast<BaseNote>(Limit(v[5], kBaseRange));
  player.SetScale(info);
}

// o count session...: the song, at most kMaxSongParts parts of existing sessions.
void ProjectLoader::O() {
  int64_t count;
  if (!f.Int(1, count) || count < 0) return Ignored();
  Song song;
  bool partly = count > kMaxSongParts;
  for (int64_t i = 0; i < std::min<int64_t>(count, kMaxSongParts); ++i) {
    int64_t s;
    if (!f.Int(2 + static_cast<size_t>(i), s) || s < 0 || s >= kSessions) {
      partly = true;
      continue;
    }
    song.push_back(SongPart{static_cast<int32_t>(s), 0});
  }
  player.SetSong(song);
  if (partly) PartlyIgnored();
}

// s session solo mute... (ten mute flags before version 8, twelve from then on)
void ProjectLoader::S() {
  const int flags = version < 8 ? 10 : kTracks;
  int64_t v[2 + kTracks];
  if (!Ints(1, 2 + flags, v) || v[0] < 0 || v[0] >= kSessions || v[1] < -1 || v[1] >= kTracks) {
    session = -1;
    return Ignored();
  }
  session = static_cast<int>(v[0]);
  store.SetSingle(session, static_cast<int>(v[1]));
  for (int t = 0; t < kTracks; ++t) store.SetMuted(session, t, t < flags && v[2 + t] == 1);
}

// t track startStep endStep
void ProjectLoader::T() {
  int64_t v[3];
  if (session < 0 || !Ints(1, 3, v) || v[0] < 0 || v[0] >= kTracks || v[1] < 0 || v[1] >= kSteps || v[2] < 0 ||
      v[2] >= kSteps) {
    track = -1;
    return Ignored();
  }
  track = static_cast<int>(v[0]);
  store.SetStartEndSteps(session, track, static_cast<int>(v[1]), static_cast<int>(v[2]));
}

// Versions 1 to 3 keep offsets and gate fractions in eighths of a step (0..7) and velocities
// in sixteenths (0..16); only the low 8 bits of a stored number ever counted.
int64_t FromEighths(int64_t value) { return static_cast<int64_t>(std::floor((static_cast<uint64_t>(value) & 0xFF) / 7.0 * 127)); }
int64_t FromSixteenths(int64_t value) {
  return static_cast<int64_t>(std::floor((static_cast<uint64_t>(value) & 0xFF) * 0.0625 * 127));
}

// e step note offset velocity gate gateFraction
void ProjectLoader::E() {
  int64_t v[6];
  if (session < 0 || track < 0 || !Ints(1, 6, v) || v[0] < 0 || v[0] >= kSteps || v[1] < 0 || v[1] > 127) {
    return Ignored();
  }
  int64_t offset = v[2], velocity = v[3], gateFraction = v[5];
  if (version < 4) {
    offset = FromEighths(offset);
    gateFraction = FromEighths(gateFraction);
    velocity = FromSixteenths(velocity);
  }
  Note n;
  n.note = static_cast<uint8_t>(v[1]);
  // An offset of 128 or more would place the note in the next step, where it never plays.
  n.offset = static_cast<uint8_t>(Limit(offset, kMidiValueRange));
  n.velocity = static_cast<uint8_t>(Limit(velocity, kMidiValueRange));
  n.gate = static_cast<uint8_t>(Limit(v[4], kGateRange));
  n.gateFraction = static_cast<uint8_t>(Limit(gateFraction, kGateRange));
  store.AddNote(session, track, static_cast<int>(v[0]), n);
}

// i track velocity [velocityFixed] volume pan [channel output] [pitch] [layer]
//   reverbEnabled reverb*4 chorusEnabled chorus*5 [externalReverbEnabled externalReverb*11]
//   [externalEqualizerEnabled externalEqualizer*11] soundfont bank program [soundfontName presetName]
void ProjectLoader::I() {
  size_t next = 1;
  auto take = [&](int64_t& value) { return f.Int(next++, value); };
  auto takeDouble = [&](double& value) { return f.Double(next++, value); };

  int64_t t, velocity, velocityFixed = 0, volume, pan, channel = 0, output = 0, pitch = 64, layer;
  if (!take(t) || t < 0 || t >= kTracks) return Ignored();
  layer = t;
  if (!take(velocity)) return Ignored();
  if (version > 8 && !take(velocityFixed)) return Ignored();
  if (!take(volume) || !take(pan)) return Ignored();
  if (version >= 2 && (!take(channel) || !take(output))) return Ignored();
  if (version >= 3 && !take(pitch)) return Ignored();
  if (version >= 6 && !take(layer)) return Ignored();
  int64_t reverbEnabled, reverb[4], chorusEnabled, chorus[5];
  if (!take(reverbEnabled)) return Ignored();
  for (int64_t& r : reverb) {
    if (!take(r)) return Ignored();
  }
  if (!take(chorusEnabled)) return Ignored();
  for (int64_t& c : chorus) {
    if (!take(c)) return Ignored();
  }
  const bool hasExternalReverb = version >= 5;
  const bool hasExternalEqualizer = version >= 7;
  int64_t externalReverbEnabled = 0, externalEqualizerEnabled = 0;
  double externalReverb[kExternalParams], externalEqualizer[kExternalParams];
  if (hasExternalReverb) {
    if (!take(externalReverbEnabled)) return Ignored();
    for (double& p : externalReverb) {
      if (!takeDouble(p)) return Ignored();
    }
  }
  if (hasExternalEqualizer) {
    if (!take(externalEqualizerEnabled)) return Ignored();
    for (double& p : externalEqualizer) {
      if (!takeDouble(p)) return Ignored();
    }
  }
  int64_t soundfont, bank, program;
  if (!take(soundfont) || !take(bank) || !take(program)) return Ignored();
  // The two names that follow are for people reading the file; they are not needed.

  const int track = static_cast<int>(t);
  if (version < 4) velocity = FromSixteenths(velocity);
  store.SetTrackVelocity(track, Limit(velocity, kMidiValueRange));
  store.SetTrackVelocityFixed(track, velocityFixed == 1);
  store.SetTrackVolume(track, Limit(volume, kMidiValueRange));
  store.SetTrackPan(track, Limit(pan, kMidiValueRange));
  store.SetTrackChannel(track, Limit(channel, kChannelRange));
  store.SetTrackOutput(track, Limit(output, kOutputRange));
  store.SetTrackPitch(track, Limit(pitch, kMidiValueRange));
  store.SetTrackLayer(track, Limit(layer, kLayerRange));
  store.SetTrackReverbEnabled(track, reverbEnabled == 1);
  int r[4];
  for (int k = 0; k < 4; ++k) r[k] = Limit(reverb[k], kReverbRange);
  store.SetTrackReverb(track, r[0], r[1], r[2], r[3]);
  store.SetTrackChorusEnabled(track, chorusEnabled == 1);
  int c[5];
  for (int k = 0; k < 5; ++k) c[k] = Limit(chorus[k], kChorusRanges[k]);
  store.SetTrackChorus(track, c[0], c[1], c[2], c[3], c[4]);
  if (hasExternalReverb) {
    for (int k = 0; k < kExternalParams; ++k) externalReverb[k] = Limit(externalReverb[k], kExternalReverbRanges[k]);
    store.SetTrackExternalReverbEnabled(track, externalReverbEnabled == 1);
    store.SetTrackExternalReverb(track, externalReverb);
  }
  if (hasExternalEqualizer) {
    for (int k = 0; k < kExternalParams; ++k) {
      externalEqualizer[k] = Limit(externalEqualizer[k], kExternalEqualizerRanges[k]);
    }
    store.SetTrackExternalEqualizerEnabled(track, externalEqualizerEnabled == 1);
    store.SetTrackExternalEqualizer(track, externalEqualizer);
  }

  // Without a synthesizer (tools, tests of the file format) only the attributes are kept.
  if (!synth) return;
  constexpr int64_t kIntMin = std::numeric_limits<int32_t>::min();
  constexpr int64_t kIntMax = std::numeric_limits<int32_t>::max();
  const int sf = static_cast<int>(std::clamp(soundfont, kIntMin, kIntMax));
  const int b = static_cast<int>(std::clamp(bank, kIntMin, kIntMax));
  const int p = static_cast<int>(std::clamp(program, kIntMin, kIntMax));
  if (!synth->SetInstrument(track, sf, b, p)) {
    printf("error: problem when setting instrument sf=%d, bank=%d, prog=%d\n", sf, b, p);
    error = true;
    if (selectDefaultInstrument) {
      TrackInstrument d = synth->GetDefaultInstrument();
      if (synth->SetInstrument(track, d.soundfont, d.bank, d.program)) {
        printf("default instrument selected\n");
        error = false;
      } else {
        printf("error: no default instrument found\n");
      }
    }
  }
  SendTrackSound(synth, &store, track, hasExternalReverb, hasExternalEqualizer);
}

// Files before version 8 have ten tracks per session: tracks 10 and 11 start like track 9
// in sound, on the default instrument.
void ProjectLoader::InitTracksFromTrack9() {
  if (version >= 8) return;
  constexpr int kSource = 9;
  double params[kExternalParams];
  int r[4], c[5];
  for (int t = 10; t < kTracks; ++t) {
    store.SetTrackVelocity(t, 90);
    store.SetTrackPan(t, 64);
    store.SetTrackChannel(t, 0);
    store.SetTrackOutput(t, 0);
    store.SetTrackPitch(t, 64);
    store.SetTrackLayer(t, t);
    store.SetTrackVelocityFixed(t, store.GetTrackVelocityFixed(kSource));
    store.SetTrackReverbEnabled(t, store.GetTrackReverbEnabled(kSource));
    store.GetTrackReverb(kSource, r[0], r[1], r[2], r[3]);
    store.SetTrackReverb(t, r[0], r[1], r[2], r[3]);
    store.SetTrackChorusEnabled(t, store.GetTrackChorusEnabled(kSource));
    store.GetTrackChorus(kSource, c[0], c[1], c[2], c[3], c[4]);
    store.SetTrackChorus(t, c[0], c[1], c[2], c[3], c[4]);
    store.SetTrackExternalReverbEnabled(t, store.GetTrackExternalReverbEnabled(kSource));
    store.GetTrackExternalReverb(kSource, params);
    store.SetTrackExternalReverb(t, params);
    store.SetTrackExternalEqualizerEnabled(t, store.GetTrackExternalEqualizerEnabled(kSource));
    store.GetTrackExternalEqualizer(kSource, params);
    store.SetTrackExternalEqualizer(t, params);
    if (!synth) continue;
    TrackInstrument d = synth->GetDefaultInstrument();
    if (!synth->SetInstrument(t, d.soundfont, d.bank, d.program)) {
      printf("error: no default instrument found\n");
      error = true;
    }
    ApplyExternalEffects(synth, &store, t, true, true);
  }
}

// Reverb and chorus belong to a soundfont's synthesizer, so the tracks sharing one end up
// with the values of the last track set; the attributes are made to agree with that.
// Rounded, not truncated: 0.29 comes back from the synthesizer as 0.28999..., and truncating
// would lower the stored value on every load.
void ProjectLoader::ReadBackFromSynth() {
  if (!synth) return;
  for (int t = 0; t < kTracks; ++t) {
    double room, damping, width, level;
    synth->GetReverb(t, room, damping, width, level);
    auto hundredths = [&](double v) { return Limit(std::lround(v * 100), kReverbRange); };
    store.SetTrackReverb(t, hundredths(room), hundredths(damping), hundredths(width), hundredths(level));
    int voices, type;
    double chorusLevel, speed, depth;
    synth->GetChorus(t, voices, chorusLevel, speed, depth, type);
    store.SetTrackChorus(t, Limit(voices, kChorusRanges[0]), Limit(std::lround(chorusLevel * 10), kChorusRanges[1]),
                         Limit(std::lround(speed * 10), kChorusRanges[2]), Limit(std::lround(depth), kChorusRanges[3]),
                         Limit(type, kChorusRanges[4]));
    ReadBackExternalReverb(synth, &store, t);
  }
}

void ProjectLoader::SetSongLengths() {
  Song song = player.GetSong();
  for (SongPart& part : song) part.length = store.GetSessionLength(part.session);
  player.SetSong(song);
}

}  // namespace

bool Player::LoadProject(const std::string& fileName, bool selectDefaultInstrument) {
  // A file that cannot be read leaves everything as it was; so does a directory or a device
  // in its place (a FIFO could block forever).
  int fd = open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  struct stat info;
  if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    if (fd >= 0) close(fd);
    printf("error: could not open project file %s\n", fileName.c_str());
    return false;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);

  sessions->Clear();
  ProjectLoader loader(*this, selectDefaultInstrument);
  LineReader reader(fd);
  loader.ReadLines(reader);
  bool readFailed = reader.Failed();
  close(fd);
  if (readFailed) printf("error: could not read project file %s to its end\n", fileName.c_str());

  loader.InitTracksFromTrack9();
  loader.ReadBackFromSynth();
  loader.SetSongLengths();
  loader.ReportSummary();
  lastLoad = LoadReport{loader.IgnoredLines(), loader.Version() > kProjectVersion};
  return !loader.Error() && !readFailed;
}
