// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <tuple>
#include <vector>

#include "model/Scales.h"

namespace {

// Pitch classes on C written out from music theory, independently of the step table.
const std::vector<std::set<int>> kPitchClassesOnC = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, {0, 2, 4, 5, 7, 9, 11}, {0, 2, 3, 5, 7, 8, 10},
    {0, 2, 3, 5, 7, 9, 10}, {0, 1, 3, 5, 7, 8, 10}, {0, 2, 4, 5, 7, 9, 10}, {0, 2, 3, 5, 7, 9, 11},
    {0, 2, 3, 5, 7, 8, 11}, {0, 3, 4, 5, 7, 9, 10}, {0, 3, 5, 6, 7, 10}, {0, 3, 5, 6, 7, 10},
    {0, 2, 3, 6, 7, 8, 11}, {0, 2, 3, 6, 7, 9, 10}, {0, 1, 4, 6, 7, 9, 11}, {0, 1, 3, 6, 7, 8, 11},
    {0, 2, 4, 6, 8, 10}};

ScaleNotes Get(int base, int scale) { return Scales::GetScaleNotes(BaseNote(base), Scale(scale)); }

bool In(const std::set<int>& pcs, int note) { return pcs.count(((note % 12) + 12) % 12) == 1; }

}  // namespace

TEST(ScaleTable, EveryScaleOnEveryBaseMatchesTheIndependentDefinition) {
  for (int scale = 0; scale < kScaleCount; ++scale) {
    for (int base = 0; base < 12; ++base) {
      SCOPED_TRACE(testing::Message() << "scale " << scale << " base " << base);
      std::set<int> pcs;
      for (int pc : kPitchClassesOnC[scale]) pcs.insert((pc + base) % 12);
      const ScaleNotes s = Get(base, scale);
      ASSERT_EQ(s.count, static_cast<int>(pcs.size()));
      EXPECT_EQ(std::vector<int>(s.pitchClasses, s.pitchClasses + s.count), std::vector<int>(pcs.begin(), pcs.end()));
      for (int i = s.count; i < 12; ++i) EXPECT_EQ(s.pitchClasses[i], -1);
      for (int note = -30; note < 160; ++note) EXPECT_EQ(Scales::IsNoteInScale(s, note), In(pcs, note)) << note;

      for (int note = 0; note < 128; ++note) {
        if (!In(pcs, note)) continue;
        int next = note + 1;
        while (next < 128 && !In(pcs, next)) ++next;
        int up = -1;
        int down = -1;
        ASSERT_EQ(Scales::HarmonicTranspose(s, note, 1, up), next < 128) << note;
        EXPECT_EQ(up, next < 128 ? next : note);
        EXPECT_TRUE(next == 128 || (Scales::HarmonicTranspose(s, up, -1, down) && down == note)) << note;
      }
    }
  }
  EXPECT_EQ(Get(0, 16).count, 0);
  EXPECT_EQ(Get(14, ScaleMajor).pitchClasses[0], 1);  // base 14 is D
}

TEST(ScaleTable, TransposeEdgesAndNotesOutsideTheScale) {
  const ScaleNotes major = Get(BaseC, ScaleMajor);
  const std::tuple<int, int, bool, int> cases[] = {
      {64, 1, true, 65},   {71, 1, true, 72},    {61, 1, true, 62},    {61, -1, true, 60},   {127, 1, false, 127},
      {0, -1, false, 0},   {60, 0, true, 60},    {60, 7, true, 72},    {60, 9, true, 76},    {60, -15, true, 35},
      {120, 7, false, 120}, {128, -1, false, 128}, {-1, 1, false, -1}, {INT_MAX, -1, false, INT_MAX},
      {60, INT_MIN, false, 60}};
  for (auto [note, degrees, ok, result] : cases) {
    int r = -99;
    EXPECT_EQ(Scales::HarmonicTranspose(major, note, degrees, r), ok) << note << " by " << degrees;
    EXPECT_EQ(r, result) << note << " by " << degrees;
  }
  int r = 0;
  EXPECT_TRUE(Scales::HarmonicTranspose(Get(BaseC, ScaleWholeTone), 61, 6, r));
  EXPECT_EQ(r, 73);  // an outside note moves by the octave and stays outside
  for (int count : {0, 3, 12, 99}) {  // 3 claims notes the list does not hold
    ScaleNotes s;
    s.count = count;
    EXPECT_FALSE(Scales::HarmonicTranspose(s, 60, 1, r));
    EXPECT_FALSE(Scales::IsNoteInScale(s, 60));
  }
}

TEST(ScaleTable, NoteNames) {
  for (auto [note, name] : {std::pair<int, std::string>{0, "C-1"}, {1, "C#-1"}, {60, "C4"}, {127, "G9"},
                            {kNoteRest, "REST"}, {-1, ""}, {129, ""}}) {
    EXPECT_EQ(NoteToString(note), name);
  }
  EXPECT_STREQ(Scales::GetScaleName(16), "");
}
