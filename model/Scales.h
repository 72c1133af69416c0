// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <cstdint>
#include <string>

// Pitch classes in the order the editor lists them ("C", "C#", ... "B").
enum BaseNote : int32_t {
  BaseC = 0,
  BaseCSharp,
  BaseD,
  BaseDSharp,
  BaseE,
  BaseF,
  BaseFSharp,
  BaseG,
  BaseGSharp,
  BaseA,
  BaseASharp,
  BaseB,
};
constexpr int kBaseNoteCount = 12;

// Scale types; the value is also the row of the scale table and what the project file stores.
enum Scale : int32_t {
  ScaleChromatic = 0,
  ScaleMajor,
  ScaleMinor,
  ScaleDorian,
  ScalePhrygian,
  ScaleMixolydian,
  ScaleMelodicMinor,
  ScaleHarmonicMinor,
  ScaleBebopDorian,
  ScaleBlues,
  ScaleMinorPentatonic,
  ScaleHungarianMinor,
  ScaleUkranianDorian,
  ScaleMarva,
  ScaleTodi,
  ScaleWholeTone,
};
constexpr int kScaleCount = 16;

// The project's current scale.
struct ScaleInfo {
  Scale scale = ScaleMinor;
  BaseNote base = BaseC;
  bool operator==(const ScaleInfo&) const = default;
};

// The pitch classes (0..11, ascending) of one scale on one base note; entries past count are -1.
struct ScaleNotes {
  int32_t count = 0;
  int32_t pitchClasses[12] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
};

// A note value: 0..127 are MIDI notes, 128 is a rest.
using NoteVal = int32_t;
constexpr NoteVal kNoteRest = 128;

// Pure functions, safe from any thread.
class Scales {
 public:
  // A scale outside 0..15 gives an empty scale (count 0); the base is taken modulo 12.
  static ScaleNotes GetScaleNotes(BaseNote base, Scale scale);

  // Any int note is accepted; its pitch class decides. A count below 1 is never in scale.
  static bool IsNoteInScale(const ScaleNotes& notes, int note);

  // Moves note by `degrees` scale degrees (negative: down). A note outside the scale first
  // lands on the nearest scale note in that direction; |degrees| >= count moves whole octaves
  // plus the remainder. Fails, leaving result = note, when the note is not 0..127, the move
  // would leave 0..127, or the scale is empty.
  static bool HarmonicTranspose(const ScaleNotes& notes, int note, int degrees, int& result);

  // The editor's names: "MINOR", "C#", ...; "" outside the valid range.
  static const char* GetScaleName(int scale);
  static const char* GetBaseNoteName(int base);
};

// "C-1" for 0, "C4" for 60, "G9" for 127, "REST" for 128, "" for anything else.
// Safe from any thread: the table is built once on first use.
std::string NoteToString(NoteVal value);
