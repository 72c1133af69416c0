// Sequencer: the order of a frame on screen and the parts every subpage shares (wallpaper,
// pitch-black screen, message line, large indicators).
#include "editor/Sequencer.h"
#include "editor/SequencerColors.h"
#include "player/Player.h"

void Sequencer::DisplayPageSteps(QuadList& quads) {
  quads.quads.clear();
  if (pitchBlack) {
    DisplayPitchBlack(quads);
    return;
  }
  DisplayWallpaper(quads);
  DisplayKeyboardPanel(quads);
  DisplayGrid(quads);
  DisplayMessageLine(quads);
  DisplayLargeIndicators(quads);
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

namespace {

void AddSprite(QuadList& quads, Sprite* sprite) {
  if (sprite && sprite->IsVisible()) quads.quads.push_back(*sprite->GetQuad(0));
}

}  // namespace

void Sequencer::DisplayWallpaper(QuadList& quads) {
  // Wallpapers 4 to 6 show only behind the pitch-black screen.
  if (wallpaperNumber >= 1 && wallpaperNumber <= 3) AddSprite(quads, wallpaperSprite);
}

void Sequencer::DisplayPitchBlack(QuadList& quads) {
  if (wallpaperNumber >= 4) {
    AddSprite(quads, wallpaperSprite);
  } else {
    AddSprite(quads, pitchBlackSprite);
    PrintText(quads, "IT IS PITCH BLACK", 220, 400, 1.5, kTextColor);
  }
  AddFlat(quads, 10, 250, 768, 3, kTextColor);
  Color tick = kTrackColors[track];
  tick.a = 0.8;
  for (int k = 0; k < 16; ++k) AddFlat(quads, 11 + 48 * k, 250, 3, 10, tick);
  const Playhead ph = player->GetPlayhead();
  if (mirror.playing) {
    for (int t = 0; t < kTracks; ++t) AddFlat(quads, 11 + 3 * ph.trackStep[t], 250, 3, 20, kTextColor);
  }
}

void Sequencer::DisplayMessageLine(QuadList& quads) {
  if (!messageActive) return;
  PrintText(quads, message, 250, 5, 1.5, messageIsError ? Color{1, 0, 0, 1} : Color{0, 1, 0, 1});
}

void Sequencer::DisplayLargeIndicators(QuadList& quads) {
  static const char kSessionNames[] = "123456789ABC";
  Color faint = kTextColor;
  faint.a = 0.4;
  PrintText(quads, std::string(1, kSessionNames[session % kSessions]), 700, 520, 5, faint);
  PrintText(quads, std::to_string(track + 1), 700, 480, 2.5, faint);
  PrintText(quads, std::to_string(bar + 1), 700, 434, 2.5, faint);
}
