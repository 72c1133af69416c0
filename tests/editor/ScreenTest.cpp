// SPDX-License-Identifier: LGPL-2.1-or-later
#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "editor/SequencerColors.h"
#include "render/Font.h"
#include "render/Render.h"
#include "tests/editor/SequencerFixture.h"

namespace zs::test {
namespace {

bool Near(double a, double b) { return std::fabs(a - b) < 1e-4; }
bool SameColor(const Color& a, const Color& b) {
  return Near(a.r, b.r) && Near(a.g, b.g) && Near(a.b, b.b) && Near(a.a, b.a);
}
double X(const Quad& q) { return q.corners[1][0]; }
double Y(const Quad& q) { return q.corners[1][1]; }
double W(const Quad& q) { return q.corners[2][0] - q.corners[1][0]; }
double H(const Quad& q) { return q.corners[0][1] - q.corners[1][1]; }
bool IsFlat(const Quad& q) { return q.shaderIndex == 1; }
bool IsGlyph(const Quad& q) { return q.shaderIndex == 2 && q.textureIndex == 99; }

class ScreenTest : public SequencerFixture {
 protected:
  // The glyphs with their lower edge at y and their left edge from x0 to x1, without spaces (they leave no quad).
  std::string TextAt(double x0, double y, double x1 = 800) const {
    static const std::map<int, char> byColumn = [] {
      MyFont font;
      std::map<int, char> m;
      for (const CharOutline& o : font.GetOutlines()) m[o.x0 * 100 + o.y0 / 10] = o.character;
      return m;
    }();
    std::vector<std::pair<double, char>> glyphs;
    for (const Quad& q : quads.quads) {
      if (!IsGlyph(q) || !Near(Y(q), y) || X(q) < x0 - 1e-4 || X(q) > x1) continue;
      const int u = static_cast<int>(std::lround(q.textureCoords[0][0] * 1024));
      const int v = static_cast<int>(std::lround(q.textureCoords[1][1] * 1024));
      auto it = byColumn.find(u * 100 + v / 10);
      glyphs.emplace_back(X(q), it == byColumn.end() ? '?' : it->second);
    }
    std::sort(glyphs.begin(), glyphs.end());
    std::string text;
    for (auto& g : glyphs) text += g.second;
    return text;
  }
  std::vector<Quad> Flats(double w, double h) const {
    std::vector<Quad> out;
    for (const Quad& q : quads.quads)
      if (IsFlat(q) && Near(W(q), w) && Near(H(q), h)) out.push_back(q);
    return out;
  }
  const Quad* FlatAt(double x, double y, double w, double h) const {
    for (const Quad& q : quads.quads)
      if (IsFlat(q) && Near(X(q), x) && Near(Y(q), y) && Near(W(q), w) && Near(H(q), h)) return &q;
    return nullptr;
  }
  bool FlatColored(double x, double y, double w, double h, const Color& color) const {
    const Quad* q = FlatAt(x, y, w, h);
    return q && SameColor(q->color, color);
  }
  bool GlyphColored(double x, double y, const Color& color) const {
    int found = 0;
    for (const Quad& q : quads.quads)
      if (IsGlyph(q) && Near(X(q), x) && Near(Y(q), y)) found += SameColor(q.color, color) ? 1 : -1000;
    return found > 0;
  }
  struct Text {
    double x0, y, x1;
    std::string text;
  };
  void ExpectTexts(std::initializer_list<Text> texts) {
    for (const Text& t : texts) EXPECT_EQ(TextAt(t.x0, t.y, t.x1), t.text) << "at " << t.x0 << ", " << t.y;
  }
  void Redraw() { Frame(Controls{}); }
};

TEST_F(ScreenTest, HeaderNamesSessionStepAndNoteUnderTheCursor) {
  seq->GetPlayer()->SetSession(11);
  ScreenTestAccess::Cursor(*seq, 3, 5);
  Redraw();
  EXPECT_EQ(TextAt(3, 65, 440), "T1O3SCL5D#3");
  // Octave 10 plus column 8 is pitch 128.
  ScreenTestAccess::Octave(*seq, 10);
  ScreenTestAccess::Cursor(*seq, 8, 0);
  Redraw();
  ExpectTexts({{3, 65, 440, "T1O9SCL0NONE"}, {3, 34, 800, "G,,,F,,,V,,,O,,,"}});
}

TEST_F(ScreenTest, AttributeAndTempoLinesShowTheCursorNoteAndTrack) {
  Note n = MakeNote(48 + 2);
  n.velocity = 77, n.gate = 3, n.gateFraction = 64, n.offset = 5;
  Store()->AddNote(0, 0, 1, n);
  Store()->SetTrackVelocity(0, 90);
  Store()->SetTrackVolume(0, 101);
  seq->GetPlayer()->SetBPM(96);
  ScreenTestAccess::Cursor(*seq, 2, 1);
  Redraw();
  ExpectTexts({{3, 34, 110, "G3"}, {114, 34, 220, "F64"}, {228, 34, 330, "V77"}, {339, 34, 800, "O5"},
               {446, 65, 800, "B096V090VO101"}});
  EXPECT_EQ(FlatAt(553, 62, 25, 26), nullptr);
  Store()->SetTrackVelocityFixed(0, true);
  Redraw();
  EXPECT_TRUE(FlatColored(553, 62, 25, 26, kTextColor));
}

TEST_F(ScreenTest, NotesOnlyInsideTheColumnsColouredByTheScale) {
  seq->SetVelocityShading(false);
  SessionsStore* s = Store();
  s->AddNote(0, 0, 0, MakeNote(47));       // one below column 0 at octave 4
  s->AddNote(0, 0, 0, MakeNote(48 + 37));  // one past column 36
  s->AddNote(0, 0, 0, MakeNote(48 + 36));
  s->AddNote(0, 0, 3, MakeNote(48));
  s->AddNote(0, 1, 3, MakeNote(48));
  Redraw();
  std::vector<Quad> cells = Flats(18, 23);
  ASSERT_EQ(cells.size(), 2u);
  EXPECT_TRUE(Near(X(cells[0]), 3 + 21 * 36) && Near(Y(cells[0]), 599 - 26));
  EXPECT_TRUE(Near(X(cells[1]), 3) && Near(Y(cells[1]), 599 - 26 * 4));
  // Minor on C: D# is in the scale (orange); E is not (white).
  s->AddNote(0, 0, 5, MakeNote(48 + 4));
  Redraw();
  cells = Flats(18, 23);
  EXPECT_TRUE(SameColor(cells.back().color, Color{1, 1, 1, 0.9}));
  EXPECT_TRUE(SameColor(cells.front().color, kNoteColor));
}

TEST_F(ScreenTest, RangeRowsScaleBandsAndCursor) {
  Store()->SetStartEndSteps(0, 0, 2, 20);
  Store()->SetLooping(true);
  Store()->SetLoopingStartEndSteps(0, 4, 5);
  ScreenTestAccess::Cursor(*seq, 10, 7);
  Redraw();
  EXPECT_TRUE(FlatColored(0, 599 - 26 * 3, 800, 23, Color{0, 1, 0, 0.3}));
  EXPECT_TRUE(FlatColored(0, 599 - 26 * 5, 800, 23, Color{1, 1, 0, 0.3}));
  EXPECT_TRUE(FlatColored(0, 599 - 26 * 6, 800, 23, Color{0, 0, 1, 0.3}));
  EXPECT_EQ(Flats(800, 23).size(), 3u);  // the end step 20 is on the next bar
  // C minor: 7 pitch classes over 37 columns = 7 * 3 + the top C.
  std::vector<Quad> bands = Flats(18, 413);
  EXPECT_EQ(bands.size(), 22u);
  EXPECT_TRUE(SameColor(bands[0].color, Color{0.1 + 33 / 255.0, 0.1 + 33 / 255.0, 0.1 + 33 / 255.0, 0.5}));
  bool cursorFound = false;
  for (const Quad& q : quads.quads)
    if (q.shaderIndex == 0 && Near(X(q), 21 * 10 - 6) && Near(Y(q), 591 - 26 * 8) && Near(W(q), 34)) cursorFound = true;
  EXPECT_TRUE(cursorFound);
}

TEST_F(ScreenTest, PlayheadRecordingBlockTailsVelocityAndUnsavedMark) {
  SessionsStore* s = Store();
  s->SetStartEndSteps(0, 0, 0, 63);
  Note soft = MakeNote(50), loud = MakeNote(51), longNote = MakeNote(55);
  soft.velocity = 20;
  soft.gate = 3;
  loud.velocity = 127;
  longNote.gate = 5;
  s->AddNote(0, 0, 1, soft);
  s->AddNote(0, 0, 14, loud);
  s->AddNote(0, 0, 14, longNote);
  Redraw();
  EXPECT_TRUE(FlatColored(752, 556, 12, 12, kNoteColor)) << "unsaved mark";
  const std::vector<Quad> cells = Flats(18, 23);
  ASSERT_EQ(cells.size(), 3u);
  EXPECT_LT(cells[0].color.r, 0.65) << "a soft note is darker";
  EXPECT_TRUE(FlatAt(3 + 21 * 2 + 6, 599 - 26 * 4 + 11, 6, 52)) << "soft note's tail, rows 2 and 3";
  EXPECT_TRUE(FlatAt(3 + 21 * 7 + 6, 599 - 26 * 16 + 11, 6, 26)) << "a tail ends with the bar";

  for (auto [play, record, seconds] : {std::tuple{false, false, 0.0}, {true, false, 0.4}, {true, true, 0.0}}) {
    if (play && !seq->IsPlaying()) Tap(&Controls::spacePressed);
    if (record) Tap(&Controls::rightCtrlPressed);
    Idle(seconds);
    Redraw();
    const std::vector<Quad> bands = Flats(800, 23);
    EXPECT_EQ(std::any_of(bands.begin(), bands.end(), [](const Quad& q) { return q.color.a < 0.2; }), play);
    EXPECT_EQ(FlatColored(0, 599 - 26 * 4, 800, 23, WithAlpha(WhiteColor, 0.18)), play);
    EXPECT_EQ(FlatAt(776, 66, 16, 16) != nullptr, record);
  }
  Tap(&Controls::spacePressed);
  Tap(&Controls::rightCtrlPressed);

  auto framed = [this](double x, double y, double w, double h) {
    const Color frame = WithAlpha(PetrolBlueColor, 0.9);
    return FlatColored(x, y, w, h, WithAlpha(PetrolBlueColor, 0.2)) && FlatColored(x, y, w, 2, frame) &&
           FlatColored(x, y + h - 2, w, 2, frame) && FlatColored(x, y, 2, h, frame) &&
           FlatColored(x + w - 2, y, 2, h, frame);
  };
  ScreenTestAccess::Cursor(*seq, 2, 1);
  Tap(&Controls::ctrlKB);
  EXPECT_TRUE(framed(3 + 21 * 2 - 2, 599 - 26 * 2 - 2, 22, 27));
  ScreenTestAccess::Cursor(*seq, 7, 15);
  Press([](Controls& c) { c.pageDownCount = 1; });
  Tap(&Controls::ctrlKK);
  EXPECT_TRUE(framed(3 + 21 * 2 - 2, 599 - 26 * 16 - 2, 21 * 5 + 22, 26 * 16 + 1)) << "rows 0..15 of bar 2";
  Press([](Controls& c) { c.pageUpCount = 1; });
  EXPECT_TRUE(framed(3 + 21 * 2 - 2, 599 - 26 * 16 - 2, 21 * 5 + 22, 26 * 15 + 1)) << "rows 1..15 of bar 1";
}

TEST_F(ScreenTest, PitchBlackScreen) {
  Tap(&Controls::f9Pressed);
  EXPECT_EQ(TextAt(220, 400), "ITISPITCHBLACK");
  EXPECT_EQ(quads.quads[0].shaderIndex, 0);
  EXPECT_TRUE(Near(X(quads.quads[0]), 275) && Near(Y(quads.quads[0]), 420) && Near(W(quads.quads[0]), 250));
  EXPECT_EQ(Flats(3, 20).size(), 12u);  // one playhead mark per track
  EXPECT_EQ(Flats(18, 377).size(), 0u);  // nothing of the editor
}

TEST_F(ScreenTest, SessionsPanel) {
  SessionsStore* s = Store();
  s->AddNote(3, 2, 0, MakeNote(60));
  s->SetStartEndSteps(3, 2, 0, 31);
  ScreenTestAccess::SessionCursor(*seq, 3);
  seq->GetPlayer()->SetSong({{2, 16}, {0, 16}, {11, 16}});
  Subpage(1);
  EXPECT_TRUE(FlatColored(440, 18, 48, 24, PetrolBlueColor));  // session 11: second row, sixth box
  EXPECT_TRUE(FlatColored(160 + 56 * 3, 50, 48, 24, LilacColor));
  EXPECT_NE(FlatAt(156 + 56 * 3, 46, 56, 32), nullptr);
  ExpectTexts({{505 + 140, 64, 505 + 200, "32"}, {505, 64, 560, "16"}, {5, 62, 100, "31C"}});
  EXPECT_TRUE(GlyphColored(645, 64, kTrackColors[2]));
}

TEST_F(ScreenTest, InstrumentsAndScalesPanels) {
  Subpage(2);
  EXPECT_EQ(TextAt(35, 35, 240), "0TIMGM6");  // the row cut to 8 characters
  EXPECT_EQ(TextAt(250, 35, 350), "0");
  EXPECT_EQ(TextAt(250, 5, 350), "128");  // TimGM6mb's drum bank
  EXPECT_FALSE(TextAt(360, 35).empty());
  EXPECT_EQ(TextAt(360, 65), "");  // program 0 has no entry before it
  Subpage(3);
  ExpectTexts({{160, 35, 560, "MINOR"}, {160, 65, 560, "MAJOR"}, {160, 5, 560, "DORIAN"}, {570, 35, 800, "C"},
               {570, 65, 800, ""}, {570, 5, 800, "C#"}});
}

TEST_F(ScreenTest, MixerPanel) {
  SessionsStore* s = Store();
  s->SetTrackVolume(3, 64);
  s->SetMuted(0, 5, true);
  s->SetSingle(0, 6);
  ScreenTestAccess::Mixer(*seq, 3, 7);
  Subpage(4);
  const double x0 = 8 + 66 * 3;
  ASSERT_NE(FlatAt(66 * 3 + 3, 1, 54, 86), nullptr);
  ASSERT_NE(FlatAt(x0 - 2, 3, 48, 84), nullptr);
  EXPECT_TRUE(FlatColored(x0 - 2, 3, 48, 42, WithAlpha(kTrackColors[3], 0.9)));  // floor(84 * 64 / 127)
  ExpectTexts({{x0, 50, x0 + 40, "64"}, {66 * 5 + 10, 7, 66 * 5 + 20, "M"}, {66 * 6 + 24, 7, 66 * 6 + 30, "S"},
               {40, 70, 800, "VOLPANCHNOUTPITLAYVEL"}});
}

TEST_F(ScreenTest, ReverbChorusPanel) {
  SessionsStore* s = Store();
  s->SetTrackReverb(0, 20, 0, 50, 90);
  s->SetTrackReverbEnabled(0, true);
  s->SetTrackChorus(0, 3, 20, 3, 8, 0);
  s->SetTrackChorusEnabled(0, false);
  ScreenTestAccess::Fx(*seq, 5, 0, 0);
  Subpage(5);
  ExpectTexts({{34, 36, 380, "REVERBON"}, {394, 36, 800, "CHORUSOFF"}, {34 + 90 * 2, 10, 34 + 90 * 2 + 60, "50"},
               {10, 65, 800, "LEVEL0-10020OUTPUTAMPLITUDE"}});
  for (const Quad& q : quads.quads) {
    if (IsGlyph(q) && Near(Y(q), 10)) {
      const bool selected = Near(X(q), 34 + 90 * 5) || Near(X(q), 34 + 90 * 5 + 22.5);
      EXPECT_TRUE(SameColor(q.color, selected ? kTextColor : PetrolBlueColor));
    }
  }
  EXPECT_TRUE(GlyphColored(394, 36, kTextColor));
}

TEST_F(ScreenTest, ExternalEffectPanels) {
  ASSERT_TRUE(seq->GetSynth()->GetExternalReverbAvailable(0));
  ScreenTestAccess::Fx(*seq, 0, 4, 0);
  Subpage(6);
  double rv[kExternalParams] = {60, 105.737, 1.68179, 1.68179, 23520, 112.468, 0, 449.873, 0, 0.375, 6};
  Store()->SetTrackExternalReverb(0, rv);
  Redraw();
  EXPECT_EQ(Flats(40, 84).size(), 12u);  // 11 black bars and the full one
  ASSERT_NE(FlatAt(3 + 73 * 4, 1, 46, 86), nullptr);
  EXPECT_NE(FlatAt(6 + 73 * 4, 3, 40, 84), nullptr);  // the maximum fills the bar
  EXPECT_NE(FlatAt(6 + 73 * 6, 3, 40, 42), nullptr);  // 0 in -15..15
  ExpectTexts({{300, 20, 800, "2.352E+04"}, {500, 65, 800, "HFDAMPING"}});

  double eq[kExternalParams] = {1, 12, -12, 0, 0, 0, 0, 0, 0, 0, 6};
  Store()->SetTrackExternalEqualizer(0, eq);
  ScreenTestAccess::Fx(*seq, 0, 0, 10);
  ScreenTestAccess::EqProgram(*seq, 6);
  Subpage(7);
  ASSERT_NE(FlatAt(7, 43, 730, 3), nullptr);
  EXPECT_TRUE(FlatColored(6, 3, 40, 21, WithAlpha(WhiteColor, 0.9)));  // gain 1 of 0..4
  EXPECT_NE(FlatAt(6 + 73, 3, 40, 84), nullptr);
  EXPECT_NE(FlatAt(6 + 73 * 2, 3, 40, 0), nullptr);
  ExpectTexts({{300, 20, 800, "6"}, {500, 65, 650, "16KHZ"}, {660, 65, 800, "ROCK"}});
}

TEST_F(ScreenTest, MarkersMessagesAndLoudnessMeter) {
  Subpage(4);
  Tap(&Controls::spacePressed);
  Tap(&Controls::rightCtrlPressed);
  bool playMarker = false, recordMarker = false;
  for (const Quad& q : quads.quads) {
    if (q.shaderIndex != 3) continue;
    if (Near(X(q), 476) && Near(Y(q), 0)) playMarker = SameColor(QuadReplaceColors(q).replace1, GreenColor);
    if (Near(X(q), 440) && Near(Y(q), 0)) recordMarker = SameColor(QuadReplaceColors(q).replace2, RedColor);
  }
  EXPECT_TRUE(playMarker && recordMarker);
  Tap(&Controls::f7Pressed);
  EXPECT_EQ(TextAt(250, 5), "NOSONG");
  EXPECT_TRUE(GlyphColored(250, 5, RedColor));
  seq->SetShowLoudnessMeter(true);
  seq->DisplayPageSteps(quads);
  EXPECT_TRUE(FlatColored(100, 200, 40, 200, WithAlpha(GreenColor, 0.5)));
  EXPECT_TRUE(SameColor(quads.quads.back().color, WithAlpha(GreenColor, 0.5)));
}

// Every visible cell of every track holds a note, all tracks are shown and the longest help page.
TEST_F(ScreenTest, DensestFrameFitsTheRenderer) {
  for (int t = 0; t < kTracks; ++t)
    for (int s = 0; s < 16; ++s)
      for (int c = 0; c < Sequencer::kNoteColumns; ++c) seq->GetSessions()->AddNote(0, t, 48 + s, MakeNote(48 + c));
  Press([](Controls& c) { c.altDigit[4] = true; });
  Press([](Controls& c) { c.f10Pressed = true; });
  Press([](Controls& c) { c.f11Pressed = true; });
  EXPECT_EQ(Flats(18, 23).size(), 12u * 16 * 37);
  std::vector<float> vertices;
  std::vector<TriangleBatch> batches;
  int vertexCount = 0;
  ASSERT_TRUE(BuildFrameBatches(quads.quads, vertices, batches, vertexCount));
  EXPECT_EQ(vertexCount, static_cast<int>(6 * quads.quads.size()));
}

}  // namespace
}  // namespace zs::test
