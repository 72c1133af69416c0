// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequencer: the order of a frame on screen and the parts every subpage shares (wallpaper,
// track strip and legend, pitch-black screen, play and record markers, message line, large
// indicators, loudness meter).
#include "editor/Sequencer.h"
#include "editor/SequencerColors.h"
#include "player/Player.h"
#include "sound/SFOutput.h"

namespace {

void AddSprite(QuadList& quads, Sprite* sprite) {
  if (sprite && sprite->IsVisible()) quads.quads.push_back(*sprite->GetQuad(0));
}

}  // namespace

void Sequencer::DisplayPageSteps(QuadList& quads) {
  quads.quads.clear();
  if (pitchBlack) {
    DisplayPitchBlack(quads);
    return;
  }
  DisplayWallpaper(quads);
  DisplayTrackStrip(quads);
  DisplayKeyboardPanel(quads);
  DisplayGrid(quads);
  switch (subpage) {
    case SubpageStepEdit: DisplayStepEditLines(quads); break;
    case SubpageSessions: DisplaySessionsPanel(quads); break;
    case SubpageInstruments: DisplayInstrumentsPanel(quads); break;
    case SubpageScales: DisplayScalesPanel(quads); break;
    case SubpageMixer: DisplayMixerPanel(quads); break;
    case SubpageReverbChorus: DisplayReverbChorusPanel(quads); break;
    case SubpageExternalReverb: DisplayExternalReverbPanel(quads); break;
    case SubpageExternalEqualizer: DisplayExternalEqualizerPanel(quads); break;
    default: break;
  }
  DisplayPlayRecordMarkers(quads);
  DisplayMessageLine(quads);
  DisplayLargeIndicators(quads);
  if (showHelp) DisplayHelp(quads);
  if (showLoudnessMeter) DisplayLoudnessMeter(quads);
}

void Sequencer::PrintText(QuadList& quads, const std::string& text, double x, double y, double s,
                          const Color& color) const {
  const size_t first = quads.quads.size();
  font->Print(text, quads.quads, s, s);
  for (size_t i = first; i < quads.quads.size(); ++i) {
    quads.quads[i].color = color;
    TranslateQuad(&quads.quads[i], x, y);
  }
}

void Sequencer::AddMarker(QuadList& quads, Sprite* sprite, double x, double y, double scale,
                          const Color& replace) {
  if (!sprite) return;
  sprite->color1 = sprite->color2 = sprite->color3 = WhiteColor;
  sprite->replaceColor1 = sprite->replaceColor2 = sprite->replaceColor3 = replace;
  sprite->SetScale(scale, scale);
  sprite->SetPosition(x, y);
  quads.quads.push_back(*sprite->GetQuad(0));
}

void Sequencer::DisplayWallpaper(QuadList& quads) {
  // Wallpapers 4 to 6 show only behind the pitch-black screen.
  if (wallpaperNumber >= 1 && wallpaperNumber <= 3) AddSprite(quads, wallpaperSprite.get());
}

void Sequencer::DisplayTrackStrip(QuadList& quads) {
  AddFlat(quads, 780, 219, 18, 377, WithAlpha(kTrackColors[track], 0.8));
  for (int t = 0; t < kTracks; ++t) AddMarker(quads, markerBSprite.get(), 782, 200 - 18 * t, 0.5, kTrackColors[t]);
}

void Sequencer::DisplayPitchBlack(QuadList& quads) {
  if (wallpaperNumber >= 4) {
    AddSprite(quads, wallpaperSprite.get());
  } else {
    AddSprite(quads, pitchBlackSprite.get());
    PrintText(quads, "IT IS PITCH BLACK", 220, 400, 1.5, kTextColor);
  }
  // The whole session at 3 units a step, a tick every 16 steps, a mark per track playhead.
  AddFlat(quads, 10, 250, 768, 3, kTextColor);
  const Color tick = WithAlpha(kTrackColors[track], 0.8);
  for (int k = 0; k < 16; ++k) AddFlat(quads, 11 + 48 * k, 250, 3, 10, tick);
  for (int t = 0; t < kTracks; ++t) AddFlat(quads, 11 + 3 * mirror.trackStep[t], 250, 3, 20, kTextColor);
  if (mirror.recording) AddMarker(quads, markerBSprite.get(), 440, 0, 1, DarkRedColor);
}

void Sequencer::DisplayPlayRecordMarkers(QuadList& quads) {
  // Step edit and sessions have their own use for the space the markers take: a red dot at
  // the end of the header line says recording there.
  if (subpage == SubpageStepEdit || subpage == SubpageSessions) {
    if (mirror.recording) AddFlat(quads, 776, 66, 16, 16, RedColor);
    return;
  }
  if (mirror.playing) AddMarker(quads, markerASprite.get(), 476, 0, 1, GreenColor);
  if (mirror.recording) AddMarker(quads, markerBSprite.get(), 440, 0, 1, RedColor);
}

void Sequencer::DisplayMessageLine(QuadList& quads) {
  if (!messageActive) return;
  PrintText(quads, message, 250, 5, 1.5, messageIsError ? RedColor : GreenColor);
}

void Sequencer::DisplayLargeIndicators(QuadList& quads) {
  const Color faint = WithAlpha(kTextColor, 0.4);
  PrintText(quads, std::string(1, SessionName(session)), 700, 520, 5, faint);
  // Unsaved edits: an orange square beside the session letter until F1 or F5.
  if (history.Dirty()) AddFlat(quads, 752, 556, 12, 12, kNoteColor);
  PrintText(quads, std::to_string(track + 1), 700, 480, 2.5, faint);
  PrintText(quads, std::to_string(bar + 1), 700, 434, 2.5, faint);
}

void Sequencer::DisplayLoudnessMeter(QuadList& quads) {
  // Peak levels: below -6 dB green, up to -3 dB yellow, above that red.
  const float level = synth->GetCurrentLoudness(synth->GetInstrument(track).soundfont);
  Color c = GreenColor;
  if (level >= 0.5011f) c = level <= 0.7079f ? YellowColor : RedColor;
  AddFlat(quads, 100, 200, 40, 200, WithAlpha(c, 0.5));
}
