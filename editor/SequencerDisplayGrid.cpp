// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequencer: the keyboard panel and the step grid (scale bands, range rows, notes, cursor).
#include <algorithm>

#include "editor/Sequencer.h"
#include "editor/SequencerColors.h"
#include "model/Scales.h"
#include "player/Player.h"

namespace {

constexpr double kColumnWidth = 21;
constexpr double kRowHeight = 26;
// Which of the twelve keys from C is a white key.
constexpr bool kWhiteKey[12] = {true, false, true, false, true, true, false, true, false, true, false, true};

double RowBottom(int stepInBar) { return 599 - kRowHeight * (stepInBar + 1); }

}  // namespace

void Sequencer::DisplayKeyboardPanel(QuadList& quads) {
  const bool wallpaperShown = wallpaperNumber >= 1 && wallpaperNumber <= 3;
  if (keyboardPanelSprite && keyboardPanelSprite->IsVisible()) {
    if (wallpaperShown) {
      keyboardPanelSprite->SetShaderIndex(kShaderTintedTexture);
      keyboardPanelSprite->SetColor(WithAlpha(wallpaperNumber == 1 ? PetrolBlueColor
                                                                    : Color{239 / 255.0, 222 / 255.0, 78 / 255.0, 1},
                                              0.5));
    }
    quads.quads.push_back(*keyboardPanelSprite->GetQuad(0));
  }
  Color highlight = PetrolBlueColor;
  if (wallpaperNumber == 1) highlight.a = 0.8;
  if (wallpaperNumber == 2 || wallpaperNumber == 3) highlight = Color{1, 165 / 255.0, 0, 0.7};
  // White keys lie under the key strip, black keys on it.
  for (int k = 0; k < kNoteColumns; ++k) {
    if (noteKeysHeld[k] && kWhiteKey[k % 12]) AddFlat(quads, 3 + kColumnWidth * k, 93, 18, 88, highlight);
  }
  if (keyStripSprite && keyStripSprite->IsVisible()) quads.quads.push_back(*keyStripSprite->GetQuad(0));
  for (int k = 0; k < kNoteColumns; ++k) {
    if (noteKeysHeld[k] && !kWhiteKey[k % 12]) AddFlat(quads, 3 + kColumnWidth * k, 136, 18, 45, highlight);
  }
}

// The marked block of the current session and track: its cells tinted and framed, clipped to
// the shown bar and columns; after CTRL K B alone, the begin cell.
void Sequencer::DisplayBlock(QuadList& quads, int firstStep, int lowPitch) {
  if (!block.beginSet || block.session != session || block.track != track) return;
  const int highNote = block.complete ? block.highNote : block.lowNote;
  const int lastStep = block.complete ? block.lastStep : block.firstStep;
  const int c0 = std::max(block.lowNote - lowPitch, 0), c1 = std::min(highNote - lowPitch, kNoteColumns - 1);
  const int s0 = std::max(block.firstStep - firstStep, 0), s1 = std::min(lastStep - firstStep, kStepsPerBar - 1);
  if (c0 > c1 || s0 > s1) return;
  const double left = 3 + kColumnWidth * c0 - 2, right = 3 + kColumnWidth * c1 + 18 + 2;
  const double top = RowBottom(s0) + 23 + 2, bottom = RowBottom(s1) - 2;
  const Color frame = WithAlpha(PetrolBlueColor, 0.9);
  AddFlat(quads, left, bottom, right - left, top - bottom, WithAlpha(PetrolBlueColor, 0.2));
  AddFlat(quads, left, bottom, right - left, 2, frame);
  AddFlat(quads, left, top - 2, right - left, 2, frame);
  AddFlat(quads, left, bottom, 2, top - bottom, frame);
  AddFlat(quads, right - 2, bottom, 2, top - bottom, frame);
}

void Sequencer::DisplayGrid(QuadList& quads) {
  const ScaleInfo scaleInfo = player->GetScale();
  const ScaleNotes scaleNotes = Scales::GetScaleNotes(scaleInfo.base, scaleInfo.scale);
  const bool chromatic = scaleInfo.scale == ScaleChromatic;
  const int lowPitch = 12 * octave;

  // Columns of the scale's pitch classes, as faint bands in a lighter background tone.
  if (!chromatic && !(wallpaperNumber >= 1 && wallpaperNumber <= 3)) {
    const Color band{std::min(1.0, backgroundColor.r + 33 / 255.0), std::min(1.0, backgroundColor.g + 33 / 255.0),
                     std::min(1.0, backgroundColor.b + 33 / 255.0), 0.5};
    for (int c = 0; c < kNoteColumns; ++c) {
      if (Scales::IsNoteInScale(scaleNotes, lowPitch + c)) AddFlat(quads, 3 + kColumnWidth * c, 183, 18, 413, band);
    }
  }

  const int firstStep = bar * kStepsPerBar;
  auto rangeRow = [&](int step, const Color& color) {
    if (step >= firstStep && step < firstStep + kStepsPerBar) AddFlat(quads, 0, RowBottom(step - firstStep), 800, 23, color);
  };
  int start = 0, end = 0;
  sessions->GetStartEndSteps(session, track, start, end);
  rangeRow(start, Color{0, 1, 0, 0.3});
  rangeRow(end, Color{1, 0, 0, 0.3});
  if (sessions->GetLooping()) {
    int loopTrack = 0, loopStart = 0, loopEnd = 0;
    sessions->GetLoopingStartEndSteps(loopTrack, loopStart, loopEnd);
    if (loopTrack == track) {
      rangeRow(loopStart, Color{1, 1, 0, 0.3});
      rangeRow(loopEnd, Color{0, 0, 1, 0.3});
    }
  }

  // The row the playhead plays, when this bar holds it.
  if (mirror.playing && mirror.session == session) rangeRow(mirror.trackStep[track], WithAlpha(WhiteColor, 0.18));
  DisplayBlock(quads, firstStep, lowPitch);

  Quad cell;
  InitQuad(&cell, 18, 23, kFlatTextureIndex, kShaderFlat, false, false, false, kNoteColor);
  auto drawTrack = [&](int t) {
    const bool current = t == track;
    for (int s = 0; s < kStepsPerBar; ++s) {
      sessions->GetNotes(session, t, firstStep + s, scratchNotes);
      for (const Note& n : scratchNotes) {
        const int column = n.note - lowPitch;
        if (column < 0 || column >= kNoteColumns) continue;
        Color c = kNoteColor;
        if (!current) {
          c = WithAlpha(kTrackColors[t], 0.9);
        } else if (!chromatic && !Scales::IsNoteInScale(scaleNotes, n.note)) {
          c = WithAlpha(WhiteColor, 0.9);
        }
        if (velocityShading) {
          const double f = std::min(1.0, 0.75 + 0.25 * (n.velocity - 60) / 67.0);
          c.r *= f;
          c.g *= f;
          c.b *= f;
        }
        // A copy of a prototype cell is much cheaper than building each quad anew, and the
        // densest frame holds thousands of them.
        if (cell.color != c) InitQuad(&cell, 18, 23, kFlatTextureIndex, kShaderFlat, false, false, false, c);
        Quad& q = quads.quads.emplace_back(cell);
        const double x = 3 + kColumnWidth * column, y = RowBottom(s);
        for (auto& corner : q.corners) corner[0] += x, corner[1] += y;
        // A note longer than its step goes on as a narrow tail through the rows it sounds in.
        const int rows = std::min((n.gate * 128 + n.gateFraction + 127) / 128, kStepsPerBar - s);
        if (rows > 1) AddFlat(quads, x + 6, RowBottom(s + rows - 1) + 11, 6, kRowHeight * (rows - 1), WithAlpha(c, 0.6));
      }
    }
  };
  if (showAllTracks) {
    for (int t = 0; t < kTracks; ++t) {
      if (t != track) drawTrack(t);
    }
  }
  drawTrack(track);

  if (cursorSprite && cursorSprite->IsVisible()) {
    cursorSprite->SetPosition(kColumnWidth * noteCursor - 6, 591 - kRowHeight * (stepCursor + 1));
    quads.quads.push_back(*cursorSprite->GetQuad(0));
  }
}
