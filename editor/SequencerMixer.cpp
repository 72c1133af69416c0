// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequencer: keys of the mixer subpage (per-track attributes, mute and solo, baking pitch
// change and velocity into the notes).
#include <algorithm>

#include "editor/Sequencer.h"
#include "player/Player.h"
#include "sound/SFOutput.h"

namespace {

// Attribute codes of the mixer; 7 and 10 are the MIDI controller numbers of volume and pan.
constexpr int kParamVolume = 7;
constexpr int kParamPan = 10;
constexpr int kParamChannel = 300;
constexpr int kParamOutput = 301;
constexpr int kParamPitch = 302;
constexpr int kParamLayer = 303;
constexpr int kParamVelocity = 304;

constexpr int kPitchCentre = 64;

struct MixerRange {
  int min;
  int max;
  bool wraps;  // channel and output go round; the others stop at their ends
};

MixerRange RangeOf(int param) {
  switch (param) {
    case kParamChannel: return {0, 15, true};
    case kParamOutput: return {0, 2, true};
    case kParamLayer: return {0, kTracks - 1, false};
    default: return {0, 127, false};
  }
}

int ReadAttribute(const SessionsStore& s, int param, int t) {
  switch (param) {
    case kParamVolume: return s.GetTrackVolume(t);
    case kParamPan: return s.GetTrackPan(t);
    case kParamChannel: return s.GetTrackChannel(t);
    case kParamOutput: return s.GetTrackOutput(t);
    case kParamPitch: return s.GetTrackPitch(t);
    case kParamLayer: return s.GetTrackLayer(t);
    case kParamVelocity: return s.GetTrackVelocity(t);
    default: return 0;
  }
}

void WriteAttribute(SessionsStore& s, int param, int t, int v) {
  switch (param) {
    case kParamVolume: s.SetTrackVolume(t, v); break;
    case kParamPan: s.SetTrackPan(t, v); break;
    case kParamChannel: s.SetTrackChannel(t, v); break;
    case kParamOutput: s.SetTrackOutput(t, v); break;
    case kParamPitch: s.SetTrackPitch(t, v); break;
    case kParamLayer: s.SetTrackLayer(t, v); break;
    case kParamVelocity: s.SetTrackVelocity(t, v); break;
    default: break;
  }
}

// New value after moving by delta: channel and output wrap as often as the count asks, the
// others are clamped. A stored value outside the range (an old or edited file) is brought in.
int MoveValue(int value, int delta, const MixerRange& r) {
  if (!r.wraps) return std::clamp(value + delta, r.min, r.max);
  const int span = r.max - r.min + 1;
  int v = (value - r.min + delta) % span;
  if (v < 0) v += span;
  return r.min + v;
}

}  // namespace

Sequencer::ArrowPresses Sequencer::PlainArrowPresses(const Controls& c) {
  ArrowPresses a;
  if (!(c.shiftLeftHeld || c.ctrlLeftHeld || c.altLeftHeld || c.altShiftLeftHeld || c.ctrlShiftLeftHeld)) {
    a.left = c.leftCount;
  }
  if (!(c.shiftRightHeld || c.ctrlRightHeld || c.altRightHeld || c.altShiftRightHeld || c.ctrlShiftRightHeld)) {
    a.right = c.rightCount;
  }
  if (!(c.shiftUpHeld || c.ctrlUpHeld || c.altUpHeld || c.altShiftUpHeld || c.ctrlShiftUpHeld)) a.up = c.upCount;
  if (!(c.shiftDownHeld || c.ctrlDownHeld || c.altDownHeld || c.altShiftDownHeld || c.ctrlShiftDownHeld)) {
    a.down = c.downCount;
  }
  return a;
}

bool Sequencer::MixerGuardPassed(const Controls& c) {
  // Only keys held as notes count (a note started and not yet released, or pressed in this
  // frame): the command's own letter (I, V, X) is a note-key position held with modifiers.
  bool noteKey = false;
  for (int i = 0; i < kNoteColumns; ++i) {
    const bool keyboardNote = c.pianoPressed[i] || (liveNotes.keyPitch[i].pitch >= 0 && !c.pianoReleased[i]);
    noteKey = noteKey || keyboardNote || noteKeysHeld[i];
  }
  if (noteKey) {
    ShowMessage("NOTE KEY", true);
    return false;
  }
  if (player->IsPlaying() || player->GetRecording()) {
    ShowMessage("STOP PLAYBACK", true);
    return false;
  }
  return true;
}

void Sequencer::MixerChangeSelected(int delta, const Controls& c) {
  // Pitch change and layering alter what the queued note-offs refer to, so they wait for a
  // stopped player.
  if ((mixerParam == kParamPitch || mixerParam == kParamLayer) && !MixerGuardPassed(c)) return;
  int column[kTracks];
  for (int t = 0; t < kTracks; ++t) column[t] = ReadAttribute(*sessions, mixerParam, t);
  column[mixerTrack] = MoveValue(column[mixerTrack], delta, RangeOf(mixerParam));
  for (int t = 0; t < kTracks; ++t) {
    WriteAttribute(*sessions, mixerParam, t, column[t]);
    if (mixerParam == kParamVolume) synth->SetVolume(t, column[t]);
    if (mixerParam == kParamPan) synth->SetPan(t, column[t]);
  }
}

void Sequencer::MixerMakeVelocityPermanent() {
  const int velocity = std::clamp(sessions->GetTrackVelocity(mixerTrack), 0, 127);
  for (int s = 0; s < kSessions; ++s) {
    for (int step = 0; step < kSteps; ++step) {
      sessions->GetNotes(s, mixerTrack, step, scratchNotes);
      if (scratchNotes.empty()) continue;
      for (Note& n : scratchNotes) n.velocity = static_cast<uint8_t>(velocity);
      sessions->SetNotes(s, mixerTrack, step, scratchNotes);
    }
  }
  ShowMessage("VELOCITY CHANGES APPLIED", false);
}

void Sequencer::MixerMakePitchPermanent() {
  const int shift = sessions->GetTrackPitch(mixerTrack) - kPitchCentre;
  if (shift != 0) {
    // Check every note first: a shift that pushes one note out of 0..127 changes nothing,
    // rather than folding that note onto another pitch or half-applying the shift.
    for (int s = 0; s < kSessions; ++s) {
      for (int step = 0; step < kSteps; ++step) {
        sessions->GetNotes(s, mixerTrack, step, scratchNotes);
        for (const Note& n : scratchNotes) {
          const int shifted = n.note + shift;
          if (shifted < 0 || shifted > 127) {
            ShowMessage("NOTE LEAVING RANGE", true);
            return;
          }
        }
      }
    }
    for (int s = 0; s < kSessions; ++s) {
      for (int step = 0; step < kSteps; ++step) {
        sessions->GetNotes(s, mixerTrack, step, scratchNotes);
        if (scratchNotes.empty()) continue;
        for (Note& n : scratchNotes) n.note = static_cast<uint8_t>(n.note + shift);
        sessions->SetNotes(s, mixerTrack, step, scratchNotes);
      }
    }
    sessions->SetTrackPitch(mixerTrack, kPitchCentre);
  }
  ShowMessage("PITCH CHANGES APPLIED", false);
}

void Sequencer::HandleMixer(const Controls& c) {
  const ArrowPresses arrows = PlainArrowPresses(c);
  const int left = arrows.left, right = arrows.right, up = arrows.up, down = arrows.down;

  if (c.altS) {
    sessions->SetSingle(session, sessions->GetSingle(session) == mixerTrack ? -1 : mixerTrack);
  } else if (c.altM) {
    sessions->SetMuted(session, mixerTrack, !sessions->GetMuted(session, mixerTrack));
  } else if (c.altT) {
    sessions->SetTrackVelocityFixed(mixerTrack, !sessions->GetTrackVelocityFixed(mixerTrack));
  } else if (c.altO) {
    mixerParam = kParamVolume;
  } else if (c.altP) {
    mixerParam = kParamPan;
  } else if (c.altC) {
    mixerParam = kParamChannel;
  } else if (c.altU) {
    mixerParam = kParamOutput;
  } else if (c.altI) {
    mixerParam = kParamPitch;
  } else if (c.altL) {
    mixerParam = kParamLayer;
  } else if (c.altV) {
    mixerParam = kParamVelocity;
  } else if (c.ctrlShiftV) {
    if (mixerParam == kParamVelocity && MixerGuardPassed(c)) MixerMakeVelocityPermanent();
  } else if (c.ctrlShiftI) {
    if (mixerParam == kParamPitch && MixerGuardPassed(c)) MixerMakePitchPermanent();
  } else if (c.altShiftM) {
    const bool muted = sessions->GetMuted(session, mixerTrack);
    for (int t = 0; t < kTracks; ++t) sessions->SetMuted(session, t, muted);
  } else if (c.altX) {
    if (mixerParam == kParamLayer && MixerGuardPassed(c)) sessions->SetTrackLayer(mixerTrack, mixerTrack);
  } else if (c.altShiftX) {
    if (mixerParam == kParamLayer && MixerGuardPassed(c)) {
      for (int t = 0; t < kTracks; ++t) sessions->SetTrackLayer(t, t);
    }
  } else if (left > 0 || right > 0) {
    mixerTrack = std::clamp(mixerTrack + right - left, 0, kTracks - 1);
  } else if (up > 0 || down > 0) {
    MixerChangeSelected(up - down, c);
  }
}
