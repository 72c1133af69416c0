// Sequencer: the keyboard panel and the step grid with the notes of the shown bar.
#include "editor/Sequencer.h"
#include "editor/SequencerColors.h"
#include "player/Player.h"

namespace {

constexpr double kColumnWidth = 21;
constexpr double kRowHeight = 26;

double RowTop(int stepInBar) { return 599 - kRowHeight * (stepInBar + 1); }

}  // namespace

void Sequencer::DisplayKeyboardPanel(QuadList& quads) {
  if (keyboardPanelSprite) {
    if (wallpaperNumber >= 1 && wallpaperNumber <= 3) {
      keyboardPanelSprite->SetShaderIndex(2);
      keyboardPanelSprite->SetColor(wallpaperNumber == 1 ? Color{70 / 255.0, 164 / 255.0, 243 / 255.0, 0.5}
                                                         : Color{239 / 255.0, 222 / 255.0, 78 / 255.0, 0.5});
    }
    if (keyboardPanelSprite->IsVisible()) quads.quads.push_back(*keyboardPanelSprite->GetQuad(0));
  }
  if (keyStripSprite && keyStripSprite->IsVisible()) quads.quads.push_back(*keyStripSprite->GetQuad(0));
  for (int i = 0; i < kNoteColumns; ++i) {
    if (noteKeysHeld[i]) AddFlat(quads, 3 + kColumnWidth * i, 134, 18, 40, Color{0, 1, 0, 0.5});
  }
}

void Sequencer::DisplayGrid(QuadList& quads) {
  Color strip = kTrackColors[track];
  strip.a = 0.8;
  AddFlat(quads, 780, 219, 18, 377, strip);

  // Outline of the 16 rows; every fourth row a little brighter so beats are easy to find.
  for (int s = 0; s < kStepsPerBar; ++s) {
    Color line = kTextColor;
    line.a = s % 4 == 0 ? 0.35 : 0.15;
    AddFlat(quads, 3, RowTop(s) + 23, kColumnWidth * kNoteColumns - 3, 1, line);
  }

  int start = 0, end = 0;
  sessions->GetStartEndSteps(session, track, start, end);
  for (int s = 0; s < kStepsPerBar; ++s) {
    const int step = bar * kStepsPerBar + s;
    if (step == start) AddFlat(quads, 0, RowTop(s), 800, 23, Color{0, 1, 0, 0.3});
    if (step == end) AddFlat(quads, 0, RowTop(s), 800, 23, Color{1, 0, 0, 0.3});
  }

  auto drawTrack = [&](int t, const Color& color) {
    for (int s = 0; s < kStepsPerBar; ++s) {
      sessions->GetNotes(session, t, bar * kStepsPerBar + s, scratchNotes);
      for (const Note& n : scratchNotes) {
        const int column = n.note - 12 * octave;
        if (column < 0 || column >= kNoteColumns) continue;
        AddFlat(quads, 3 + kColumnWidth * column, RowTop(s), 18, 23, color);
      }
    }
  };
  if (showAllTracks) {
    for (int t = 0; t < kTracks; ++t) {
      if (t == track) continue;
      Color c = kTrackColors[t];
      c.a = 0.5;
      drawTrack(t, c);
    }
  }
  drawTrack(track, kNoteColor);

  // The playhead row of the current track while it is in the shown bar.
  if (mirror.playing && mirror.trackStep[track] / kStepsPerBar == bar) {
    AddFlat(quads, 0, RowTop(mirror.trackStep[track] % kStepsPerBar), 800, 23, Color{1, 1, 1, 0.15});
  }

  if (cursorSprite) {
    cursorSprite->SetPosition(kColumnWidth * noteCursor - 6, 591 - kRowHeight * (stepCursor + 1));
    if (cursorSprite->IsVisible()) quads.quads.push_back(*cursorSprite->GetQuad(0));
  }

  if (subpage != SubpageStepEdit && subpage != SubpageSessions) {
    const Color white{1, 1, 1, 1};
    if (mirror.playing && markerASprite) {
      markerASprite->SetPosition(476, 0);
      markerASprite->color1 = white;
      markerASprite->replaceColor1 = Color{0, 1, 0, 1};
      quads.quads.push_back(*markerASprite->GetQuad(0));
    }
    if (mirror.recording && markerBSprite) {
      markerBSprite->SetPosition(440, 0);
      markerBSprite->color1 = white;
      markerBSprite->replaceColor1 = Color{1, 0, 0, 1};
      quads.quads.push_back(*markerBSprite->GetQuad(0));
    }
  }

  static const char* const kSubpageNames[SubpageCount] = {
      "STEP EDIT", "SESSIONS", "INSTRUMENTS", "SCALES", "MIXER", "REVERB AND CHORUS", "EXTERNAL REVERB",
      "EXTERNAL EQUALIZER"};
  char header[64];
  snprintf(header, sizeof(header), "%d %s  B%03d", subpage + 1, kSubpageNames[subpage], player->GetBPM());
  PrintText(quads, header, 3, 65, 1.5, kTextColor);
}
