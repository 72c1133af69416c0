// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequencer: notes played on the computer keyboard and the MIDI keyboard, and the MIDI keys
// that act as transport controls.
#include <algorithm>
#include <cmath>

#include "devices/MidiInput.h"
#include "editor/Sequencer.h"
#include "player/Player.h"

namespace {

// Convex velocity curves: soft playing is lifted a lot, hard playing hardly at all.
// Rows: curves A, B and C, starting at 32, 48 and 64; indexed by the played velocity.
const int32_t velocityConvexCurveMap[3][128] = {
    {32, 34, 36, 38, 39, 41, 43, 44, 46, 48, 50, 51, 53, 55, 56, 58,
     59, 61, 63, 64, 66, 67, 69, 70, 72, 73, 74, 76, 77, 78, 80, 81,
     82, 83, 84, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95, 96, 97, 98,
     99, 100, 100, 101, 102, 103, 104, 104, 105, 106, 107, 107, 108, 108, 109, 110,
     110, 111, 111, 112, 113, 113, 114, 114, 115, 115, 115, 116, 116, 117, 117, 118,
     118, 118, 119, 119, 119, 120, 120, 120, 121, 121, 121, 121, 122, 122, 122, 122,
     123, 123, 123, 123, 123, 123, 124, 124, 124, 124, 124, 124, 125, 125, 125, 125,
     125, 125, 125, 125, 126, 126, 126, 126, 126, 126, 126, 126, 126, 127, 127, 127},
    {48, 49, 50, 51, 52, 53, 54, 55, 57, 58, 59, 60, 61, 62, 63, 64,
     65, 66, 67, 69, 70, 71, 72, 73, 74, 75, 76, 77, 78, 79, 80, 81,
     82, 83, 84, 85, 86, 86, 87, 88, 89, 90, 91, 92, 93, 93, 94, 95,
     96, 96, 97, 98, 99, 99, 100, 101, 101, 102, 103, 103, 104, 105, 105, 106,
     106, 107, 107, 108, 108, 109, 109, 110, 110, 111, 111, 112, 112, 113, 113, 114,
     114, 114, 115, 115, 115, 116, 116, 117, 117, 117, 118, 118, 118, 119, 119, 119,
     119, 120, 120, 120, 121, 121, 121, 121, 122, 122, 122, 122, 123, 123, 123, 123,
     124, 124, 124, 124, 124, 125, 125, 125, 125, 125, 126, 126, 126, 126, 127, 127},
    {64, 65, 66, 67, 69, 70, 71, 72, 73, 74, 75, 76, 77, 79, 80, 81,
     82, 83, 84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95, 96, 97,
     98, 99, 100, 101, 102, 103, 103, 104, 105, 106, 107, 107, 108, 109, 110, 110,
     111, 112, 112, 113, 114, 114, 115, 115, 116, 116, 117, 117, 118, 118, 119, 119,
     120, 120, 121, 121, 121, 122, 122, 122, 123, 123, 123, 123, 124, 124, 124, 124,
     125, 125, 125, 125, 125, 126, 126, 126, 126, 126, 126, 126, 126, 127, 127, 127,
     127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127,
     127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127},
};

// Linear curves 1..5: the played range squeezed into base .. base + span.
constexpr int kLinearBase[5] = {16, 32, 48, 64, 80};
constexpr int kLinearSpan[5] = {101, 95, 79, 63, 47};

// Index of a white key within its octave (C 0 .. B 6); -1 for a black key.
constexpr int kWhiteIndex[12] = {0, -1, 1, -1, 2, 3, -1, 4, -1, 5, -1, 6};

LiveNote NoteOn(int pitch, int velocity) {
  LiveNote n;
  n.note = static_cast<uint8_t>(pitch);
  n.velocity = static_cast<uint8_t>(velocity);
  return n;
}

LiveNote NoteOff(int pitch) {
  LiveNote n;
  n.note = static_cast<uint8_t>(pitch);
  n.noteOff = 1;
  return n;
}

}  // namespace

int Sequencer::LiveVelocity(int velocity, int maxVelocity, int curve) {
  int v = std::clamp(velocity, 0, 127);
  if (maxVelocity >= 1 && maxVelocity < 127) {
    v = static_cast<int>(std::floor(std::min(v, maxVelocity) / static_cast<double>(maxVelocity) * 127));
  }
  if (curve >= 1 && curve <= 5) {
    const double shaped = v / 127.0 * kLinearSpan[curve - 1] + kLinearBase[curve - 1] + 0.5;
    v = std::min(127, static_cast<int>(std::floor(shaped)));
  } else if (curve >= 6 && curve <= 8) {
    v = velocityConvexCurveMap[curve - 6][v];
  }
  return v;
}

void Sequencer::HandleLiveNotes(const Controls& c) {
  for (bool& held : noteKeysHeld) held = false;
  liveNotes.pending.clear();
  const ScaleInfo info = player->GetScale();
  const ScaleNotes scale = Scales::GetScaleNotes(info.base, info.scale);
  const bool scaleLock = lockToScale && info.scale != ScaleChromatic;
  CollectKeyboardNotes(c, scale, scaleLock);
  CollectMidiNotes(scale, scaleLock);
  HandOverLiveNotes();
}

void Sequencer::CollectKeyboardNotes(const Controls& c, const ScaleNotes& scale, bool scaleLock) {
  const int base = octave * 12;
  auto pitchOf = [&](int key) {
    int pitch = base + key;
    if (scaleLock) {
      const int degree = scale.pitchClasses[key % 12];
      if (degree < 0) return -1;
      pitch = degree + 12 * (key / 12) + base;
    }
    return pitch <= 127 ? pitch : -1;
  };
  // The release plays the pitch the press started, whatever octave or scale is set by then.
  auto release = [&](int key) {
    if (liveNotes.keyPitch[key].pitch < 0) return;
    liveNotes.pending.push_back(NoteOff(liveNotes.keyPitch[key].pitch));
    liveNotes.keyPitch[key].pitch = -1;
  };
  const int velocity = std::clamp(sessions->GetTrackVelocity(track), 0, 127);

  for (int key = 0; key < kNoteColumns; ++key) {
    const bool pressed = c.pianoPressed[key];
    const bool released = c.pianoReleased[key];
    const bool held = c.pianoHeld[key];
    // A release followed by a new press in the same frame leaves the key held.
    if (released && (!pressed || held)) release(key);
    if (pressed) {
      release(key);  // a press whose release never came does not leave its note sounding
      const int pitch = pitchOf(key);
      if (pitch >= 0) {
        liveNotes.pending.push_back(NoteOn(pitch, velocity));
        liveNotes.keyPitch[key].pitch = static_cast<int16_t>(pitch);
      }
      if (released && !held) release(key);  // tapped within the frame
    }
    // A key held down as part of a command (Ctrl+N) started no note and lights nothing.
    if (held && liveNotes.keyPitch[key].pitch >= 0) {
      const int column = pitchOf(key) - base;
      if (column >= 0 && column < kNoteColumns) noteKeysHeld[column] = true;
    }
  }
}

void Sequencer::CollectMidiNotes(const ScaleNotes& scale, bool scaleLock) {
  if (!midiInput || !midiInputOk) return;
  NoteFlags flags;
  bool anyKeyHeld = false, pitchWheel = false, sustain = false, modWheel = false;
  int singleNote = -1;
  midiInput->GetEvents(liveNotes.midiEvents, flags, anyKeyHeld, singleNote, pitchWheel, sustain, modWheel);

  if (qminiMode) {
    if (pitchWheel) StartOrStopPlayback(sessions->GetLooping());
    if (sustain) ToggleRecording();
    if (modWheel) UndoRecordingAndStop();
  }

  for (const NoteEvent& e : liveNotes.midiEvents) {
    const int key = e.note & 127;
    if (e.noteOff) {
      // Keys that were commands or played nothing have nothing to end.
      const int pitch = liveNotes.midiPitch[key].pitch;
      liveNotes.midiPitch[key].pitch = -1;
      if (pitch >= 0) MergeLiveNote(NoteOff(pitch));
      continue;
    }
    liveNotes.midiPitch[key].pitch = -1;
    const int pitchClass = key % 12;
    if (blackKeysTransport && scaleLock && kWhiteIndex[pitchClass] < 0) {
      switch (pitchClass) {
        case 1: StartOrStopPlayback(sessions->GetLooping()); break;
        case 3: UndoRecordingAndStop(); break;
        case 6: sessions->SetSingle(session, sessions->GetSingle(session) == track ? -1 : track); break;
        case 8: sessions->SetMuted(session, track, !sessions->GetMuted(session, track)); break;
        default: ToggleRecording(); break;
      }
      continue;
    }
    if (launchpadMode && MidiLaunchpadCommand(key)) continue;
    int pitch = key;
    if (scaleLock) {
      const int index = kWhiteIndex[pitchClass];
      if (index < 0 || index >= scale.count) continue;
      pitch = key / 12 * 12 + scale.pitchClasses[index];
      if (pitch > 127) continue;
    }
    const int velocity = midiFixedVelocity ? std::clamp(sessions->GetTrackVelocity(track), 0, 127)
                                           : LiveVelocity(e.velocity, maxMidiVelocity, midiVelocityCurve);
    liveNotes.midiPitch[key].pitch = static_cast<int16_t>(pitch);
    MergeLiveNote(NoteOn(pitch, velocity));
  }

  for (int key = 0; key < kMidiNotes; ++key) {
    if (!flags.held[key] || liveNotes.midiPitch[key].pitch < 0) continue;
    const int column = liveNotes.midiPitch[key].pitch - octave * 12;
    if (column >= 0 && column < kNoteColumns) noteKeysHeld[column] = true;
  }
}

// Launchpad pads 12..19 are transport and track commands; true when the pad was one.
bool Sequencer::MidiLaunchpadCommand(int note) {
  if (liveNotes.launchpadTrackSelect) {
    // The pad after the track-selection pad picks the track, whatever it is.
    liveNotes.launchpadTrackSelect = false;
    int chosen = -1;
    if (note >= 12 && note <= 19) chosen = note - 12;
    if (note == 24) chosen = 8;
    if (note == 26) chosen = 9;
    if (note == 28 || note == 29) chosen = note - 18;
    if (chosen >= 0) SelectTrack(chosen);
    return true;
  }
  switch (note) {
    case 12: StartOrStopPlayback(false); return true;
    case 13:
      if (player->IsPlaying()) {
        player->Stop();
      } else if (sessions->GetLooping()) {
        StartOrStopPlayback(true);
      }
      return true;
    case 14: ToggleRecording(); return true;
    case 15:
      if (player->GetRecording()) {
        UndoRecordingAndStop();
        ToggleRecording();
      }
      return true;
    case 16: sessions->SetSingle(session, sessions->GetSingle(session) == track ? -1 : track); return true;
    case 17: sessions->SetMuted(session, track, !sessions->GetMuted(session, track)); return true;
    case 18: player->SetLaunchpadLightingNotes(!player->GetLaunchpadLightingNotes()); return true;
    case 19: liveNotes.launchpadTrackSelect = true; return true;
    default: return false;
  }
}

// A MIDI note joins the computer keyboard's notes of the frame; one entry per pitch wins.
void Sequencer::MergeLiveNote(const LiveNote& live) {
  for (LiveNote& entry : liveNotes.pending) {
    if (entry.note != live.note) continue;
    if (!live.noteOff || entry.noteOff) entry = live;
    return;
  }
  liveNotes.pending.push_back(live);
}

void Sequencer::StartOrStopPlayback(bool looped) {
  if (player->IsPlaying()) {
    player->Stop();
    return;
  }
  if (!looped) {
    player->Play(false);
    return;
  }
  int loopTrack, loopStart, loopEnd, start, end;
  sessions->GetLoopingStartEndSteps(loopTrack, loopStart, loopEnd);
  sessions->GetStartEndSteps(session, loopTrack, start, end);
  if (loopStart < start || loopEnd > end) {
    ShowMessage("LOOP OUTSIDE PLAYAREA", true);
    return;
  }
  player->SetPlayheadLooping(session, loopTrack, loopStart, loopEnd);
  player->Continue();
}


// The player plays every live note on its current track, so a release after a track change
// goes out on its own, on the track and routing its note began with.
void Sequencer::EndLiveNoteWhereItBegan(LiveNote off, const SoundingLive& where) {
  off.channel = where.routing.channel;
  off.output = where.routing.output;
  off.pitchChange = where.routing.pitchChange;
  liveNotes.releases.assign(1, off);
  player->SetTrack(where.track);
  player->PlayLiveNotes(liveNotes.releases);
  player->SetTrack(track);
}

void Sequencer::HandOverLiveNotes() {
  if (liveNotes.pending.empty()) return;
  LiveNote routing;
  routing.channel = static_cast<uint8_t>(sessions->GetTrackChannel(track));
  routing.output = static_cast<uint8_t>(sessions->GetTrackOutput(track));
  routing.pitchChange = static_cast<uint8_t>(sessions->GetTrackPitch(track));

  size_t kept = 0;
  for (LiveNote live : liveNotes.pending) {
    SoundingLive& started = liveNotes.sounding[live.note];
    if (live.noteOff) {
      live.channel = started.on ? started.routing.channel : routing.channel;
      live.output = started.on ? started.routing.output : routing.output;
      live.pitchChange = started.on ? started.routing.pitchChange : routing.pitchChange;
      const bool elsewhere = started.on && started.track != track;
      started.on = false;
      if (elsewhere) {
        EndLiveNoteWhereItBegan(live, started);
        continue;
      }
    } else {
      if (started.on && started.track != track) EndLiveNoteWhereItBegan(NoteOff(live.note), started);
      live.channel = routing.channel;
      live.output = routing.output;
      live.pitchChange = routing.pitchChange;
      started.on = true;
      started.track = track;
      started.routing = live;
    }
    liveNotes.pending[kept++] = live;
  }
  liveNotes.pending.resize(kept);
  if (liveNotes.pending.empty()) return;
  if (player->GetRecording() && !player->IsPlaying()) {
    player->StepRecording(liveNotes.pending, CursorStep());
  } else {
    player->PlayLiveNotes(liveNotes.pending);
  }
}

// At shutdown: every live note still sounding ends where it began, whatever quit the program.
void Sequencer::EndLiveNotes() {
  for (int pitch = 0; pitch < kMidiNotes; ++pitch) {
    SoundingLive& started = liveNotes.sounding[pitch];
    if (!started.on) continue;
    EndLiveNoteWhereItBegan(NoteOff(pitch), started);
    started.on = false;
  }
  for (StartedPitch& key : liveNotes.keyPitch) key.pitch = -1;
  for (StartedPitch& key : liveNotes.midiPitch) key.pitch = -1;
}
