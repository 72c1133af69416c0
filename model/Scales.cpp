// SPDX-License-Identifier: LGPL-2.1-or-later
#include "model/Scales.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace {

// Each row: note count, then the step pattern. The first step is added to the base note,
// each further step to the previous scale note; unused steps are 0.
const int32_t kScaleTable[kScaleCount][13] = {
    {12, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},  // CHROMATIC
    {7, 0, 2, 2, 1, 2, 2, 2, 0, 0, 0, 0, 0},   // MAJOR
    {7, 0, 2, 1, 2, 2, 1, 2, 0, 0, 0, 0, 0},   // MINOR
    {7, 0, 2, 1, 2, 2, 2, 1, 0, 0, 0, 0, 0},   // DORIAN
    {7, 0, 1, 2, 2, 2, 1, 2, 0, 0, 0, 0, 0},   // PHRYGIAN
    {7, 0, 2, 2, 1, 2, 2, 1, 0, 0, 0, 0, 0},   // MIXOLYDIAN
    {7, 0, 2, 1, 2, 2, 2, 2, 0, 0, 0, 0, 0},   // MELODIC_MINOR
    {7, 0, 2, 1, 2, 2, 1, 3, 0, 0, 0, 0, 0},   // HARMONIC_MINOR
    {7, 0, 3, 1, 1, 2, 2, 1, 0, 0, 0, 0, 0},   // BEBOP DORIAN
    {6, 0, 3, 2, 1, 1, 3, 0, 0, 0, 0, 0, 0},   // BLUES
    {6, 0, 3, 2, 1, 1, 3, 0, 0, 0, 0, 0, 0},   // MINOR PENTATONIC (kept identical to BLUES)
    {7, 0, 2, 1, 3, 1, 1, 3, 0, 0, 0, 0, 0},   // HUNGARIAN MINOR
    {7, 0, 2, 1, 3, 1, 2, 1, 0, 0, 0, 0, 0},   // UKRANIAN DORIAN
    {7, 0, 1, 3, 2, 1, 2, 2, 0, 0, 0, 0, 0},   // MARVA
    {7, 0, 1, 2, 3, 1, 1, 3, 0, 0, 0, 0, 0},   // TODI
    {6, 0, 2, 2, 2, 2, 2, 0, 0, 0, 0, 0, 0},   // WHOLE TONE
};

const char* const kScaleNames[kScaleCount] = {
    "CHROMATIC",        "MAJOR",           "MINOR",           "DORIAN",
    "PHRYGIAN",         "MIXOLYDIAN",      "MELODIC_MINOR",   "HARMONIC_MINOR",
    "BEBOP DORIAN",     "BLUES",           "MINOR PENTATONIC", "HUNGARIAN MINOR",
    "UKRANIAN DORIAN",  "MARVA",           "TODI",            "WHOLE TONE",
};

const char* const kBaseNoteNames[kBaseNoteCount] = {"C",  "C#", "D",  "D#", "E",  "F",
                                                     "F#", "G",  "G#", "A",  "A#", "B"};

// Pitch class of any int, 0..11 also for negative notes.
int PitchClass(int64_t note) { return static_cast<int>(((note % 12) + 12) % 12); }

// A malformed count (from a hand-built ScaleNotes) must never walk past the array.
int UsableCount(const ScaleNotes& notes) { return std::clamp<int32_t>(notes.count, 0, 12); }

bool IsPitchClassInScale(const ScaleNotes& notes, int pc) {
  const int count = UsableCount(notes);
  for (int i = 0; i < count; ++i) {
    if (notes.pitchClasses[i] == pc) return true;
    if (notes.pitchClasses[i] > pc) return false;
  }
  return false;
}

}  // namespace

ScaleNotes Scales::GetScaleNotes(BaseNote base, Scale scale) {
  ScaleNotes result;
  if (scale < 0 || scale >= kScaleCount) return result;
  const int32_t* row = kScaleTable[scale];
  result.count = row[0];
  int p = PitchClass(base);
  for (int i = 0; i < result.count; ++i) {
    p = (p + row[1 + i]) % 12;
    result.pitchClasses[i] = p;
  }
  std::sort(result.pitchClasses, result.pitchClasses + result.count);
  return result;
}

bool Scales::IsNoteInScale(const ScaleNotes& notes, int note) { return IsPitchClassInScale(notes, PitchClass(note)); }

bool Scales::HarmonicTranspose(const ScaleNotes& notes, int note, int degrees, int& result) {
  result = note;
  if (degrees == 0) return true;
  const int count = UsableCount(notes);
  if (count < 1 || note < 0 || note > 127) return false;

  // 64-bit so that any degrees (INT_MIN included) and the octave jump cannot overflow.
  const int64_t direction = degrees > 0 ? 1 : -1;
  const int64_t total = std::llabs(static_cast<int64_t>(degrees));
  int64_t remaining = total % count;
  int64_t n = note + direction * 12 * (total / count);
  if (n < 0 || n > 127) return false;
  // At most 127 iterations: every move either finds a scale note or heads out of range.
  while (remaining > 0) {
    n += direction;
    if (n < 0 || n > 127) return false;
    if (IsPitchClassInScale(notes, PitchClass(n))) --remaining;
  }
  result = static_cast<int>(n);
  return true;
}

const char* Scales::GetScaleName(int scale) {
  return scale >= 0 && scale < kScaleCount ? kScaleNames[scale] : "";
}

const char* Scales::GetBaseNoteName(int base) {
  return base >= 0 && base < kBaseNoteCount ? kBaseNoteNames[base] : "";
}

std::string NoteToString(NoteVal value) {
  // A function-local static is initialised exactly once, even with concurrent first calls.
  static const std::array<std::string, 129> names = [] {
    std::array<std::string, 129> table;
    for (int n = 0; n < 128; ++n) table[n] = std::string(kBaseNoteNames[n % 12]) + std::to_string(n / 12 - 1);
    table[kNoteRest] = "REST";
    return table;
  }();
  if (value < 0 || value > kNoteRest) return std::string();
  return names[value];
}
