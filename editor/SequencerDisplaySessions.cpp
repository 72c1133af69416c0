// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequencer: the sessions subpage's panel (session grid and cursor, track lengths, song).
#include "editor/Sequencer.h"
#include "editor/SequencerColors.h"
#include "player/Player.h"

void Sequencer::DisplaySessionsPanel(QuadList& quads) {
  const int k = sessionCursor;
  AddFlat(quads, 156 + 56 * (k % 6), 46 - 32 * (k / 6), 56, 32, WhiteColor);
  for (int s = 0; s < kSessions; ++s) {
    const double x = 160 + 56 * (s % 6), y = 50 - 32 * (s / 6);
    AddFlat(quads, x, y, 48, 24, sessions->IsEmpty(s) ? PetrolBlueColor : LilacColor);
    if (s == session) {
      AddMarker(quads, markerASprite.get(), x, y, 0.75, mirror.playing ? GreenColor : WhiteColor);
      AddMarker(quads, markerBSprite.get(), x + 23, y, 0.75, mirror.recording ? RedColor : WhiteColor);
    }
  }
  for (int t = 0; t < kTracks; ++t) {
    int start = 0, end = 0;
    sessions->GetStartEndSteps(k, t, start, end);
    PrintText(quads, std::to_string(end - start + 1), 505 + 70 * (t % 4), 64 - 28 * (t / 4), 1.5,
              sessions->IsEmpty(k, t) ? kTextColor : kTrackColors[t]);
  }
  const Song song = player->GetSong();
  const int playing = mirror.playing && player->IsPlayingSong() ? player->GetPlayhead().songPart : -1;
  for (int e = 0; e < static_cast<int>(song.size()); ++e) {
    PrintText(quads, std::string(1, SessionName(song[e].session)), 5 + 26 * (e % 5), 62 - 26 * (e / 5), 1.5,
              e == playing ? YellowColor : PetrolBlueColor);
  }
}
