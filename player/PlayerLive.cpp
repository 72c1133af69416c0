// SPDX-License-Identifier: LGPL-2.1-or-later
// Live play from the MIDI keyboard, real-time recording and step recording.
#include <cmath>

#include "player/Player.h"

void Player::SetRecording(bool on) {
  if (on && !recording) sessions->BackupTo(backup.get());
  recording = on;
}

void Player::UndoRecording() {
  if (!recording) return;
  completions->Clear();
  sessions->RestoreFrom(backup.get(), true);
}

void Player::PlayLiveNotes(const std::vector<LiveNote>& notes) {
  const int session = playhead.session;
  for (const LiveNote& live : notes) {
    if (live.noteOff) {
      Route(false, track, live.note, 0, live.channel, live.output, live.pitchChange);
      NoteCompletionQueueEntry entry{};
      if (completions->Update(playhead, track, live.note, entry) && recording && playing) {
        int gate = entry.gate;
        int fraction = entry.gateFraction;
        if (gateQuantization) {
          if (gate == 0) gate = 1;
          fraction = 0;
        }
        sessions->SetGate(entry.session, entry.track, entry.step, live.note, gate, fraction);
      }
      continue;
    }
    if (SoundsInSession(track)) {
      int velocity = sessions->GetTrackVelocityFixed(track) ? sessions->GetTrackVelocity(track) : live.velocity;
      Route(true, track, live.note, velocity, live.channel, live.output, live.pitchChange);
    }
    completions->Add(playhead, track, live.note, live.channel, live.output, live.pitchChange);
    // Real-time recording writes only while the sequence plays; a stopped player has no time
    // line to place the note on (the editor step-records instead).
    if (recording && playing) {
      Note n;
      n.note = live.note;
      n.velocity = live.velocity;
      n.gate = 1;
      n.offset = noteQuantization ? 0 : static_cast<uint8_t>(std::floor(128 * playhead.fraction));
      sessions->AddNote(session, track, playhead.trackStep[track], n);
    }
  }
}

void Player::StepRecording(const std::vector<LiveNote>& notes, int step) {
  for (const LiveNote& live : notes) {
    if (live.noteOff) {
      Route(false, track, live.note, 0, live.channel, live.output, live.pitchChange);
      continue;
    }
    Route(true, track, live.note, live.velocity, live.channel, live.output, live.pitchChange);
    Note n;
    n.note = live.note;
    n.velocity = live.velocity;
    n.gate = 1;
    sessions->AddNote(playhead.session, track, step, n);
  }
}
