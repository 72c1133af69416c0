// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <cstdint>

#include "model/Scales.h"
#include "model/SessionsStore.h"
#include "player/Playhead.h"
#include "sound/Instruments.h"

class Player;
class SFOutput;

// Everything of a song that is not a note: what the project file keeps besides the notes
// (tempo, quantization, scale, song list, instruments, track and session-track attributes,
// solo tracks) and the loop range. A few kilobytes; compared and copied whole.
struct SongSettings {
  int32_t bpm = 0;
  bool noteQuantization = true;
  bool gateQuantization = true;
  ScaleInfo scale{};
  Song song;
  TrackInstrument instruments[kTracks];
  TrackAttribs tracks[kTracks];
  SessionTrackAttribs sessionTracks[kSessions][kTracks];
  int32_t single[kSessions] = {};
  bool looping = false;
  int32_t loopTrack = 0, loopStart = 0, loopEnd = 0;
  bool operator==(const SongSettings&) const = default;
};

// Reads the settings from the player, its song model and its synthesizer (if any).
void CaptureSettings(const Player& player, SongSettings& out);
// Puts settings back; the synthesizer hears only the tracks whose instrument or attributes
// differ from what it has.
void ApplySettings(Player& player, const SongSettings& in);
// Sends a track's stored volume, pan, reverb and chorus to the synthesizer, and its external
// reverb and equalizer where asked (files older than those effects leave them as they are).
void SendTrackSound(SFOutput* synth, SessionsStore* store, int track, bool externalReverb, bool externalEqualizer);
