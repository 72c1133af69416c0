// SPDX-License-Identifier: LGPL-2.1-or-later
#include "player/Player.h"

#include <algorithm>
#include <cmath>

#include "devices/MidiOutput.h"
#include "sound/SFOutput.h"

int TransposedNote(int note, int pitchChange) {
  if (pitchChange == 64 || note > 127) return note;
  return std::clamp(note + pitchChange - 64, 0, 127);
}

Player::Player(SessionsStore* sessions, SFOutput* synth, MidiOutput* midiOut1, MidiOutput* midiOut2, bool,
               bool launchpadMode, bool layering)
    : sessions(sessions),
      backup(std::make_unique<SessionsStore>()),
      synth(synth),
      midiOut1(midiOut1),
      midiOut2(midiOut2),
      noteOffs(std::make_unique<NoteOffQueue>()),
      completions(std::make_unique<NoteCompletionQueue>()),
      launchpadMode(launchpadMode),
      layering(layering) {
  Init();
}

Player::~Player() = default;

void Player::Init() {
  bpm = 120;
  song.clear();
  playing = playingSong = recording = false;
  noteQuantization = gateQuantization = true;
  playhead = Playhead{};
  track = 0;
  scale = ScaleInfo{};
  scale.scale = static_cast<Scale>(2);
  scale.base = static_cast<BaseNote>(0);
  sessions->Clear();
  noteOffs->Clear();
  completions->Clear();
  looping = false;
  loopTrack = loopStartStep = loopEndStep = 0;
}

void Player::SendSynth(bool on, int synthTrack, int note, int velocity) {
  if (sendObserver) sendObserver(SentNote{on, 0, synthTrack, 0, note, on ? velocity : 0});
  if (!synth) return;
  if (on) {
    synth->SendNoteOn(playhead, synthTrack, note, velocity);
  } else {
    synth->SendNoteOff(playhead, synthTrack, note, 0);
  }
}

void Player::SendMidi(int destination, bool on, int note, int velocity, int channel, double time) {
  MidiOutput* out = destination == 1 ? midiOut1 : midiOut2;
  if (!out || !out->IsUsable()) return;
  if (sendObserver) sendObserver(SentNote{on, destination, -1, channel, note, on ? velocity : 0, time});
  NoteEvent event;
  event.noteOff = !on;
  event.note = note;
  event.velocity = on ? velocity : 0;
  event.channel = channel;
  out->SendEvent(event, time);
}

void Player::SendTransport(unsigned char status, double time) {
  for (MidiOutput* out : {midiOut1, midiOut2}) {
    if (out && out->IsUsable()) out->SendRealtime(status, time);
  }
}

void Player::SendClocks(double c0, double c1, bool crossed, double t1, double d, bool newStep) {
  // A clock `back` steps before the step that holds c1; each time comes from the grid itself,
  // so rounding never adds up from one clock to the next.
  auto send = [&](double from, double to, double back) {
    for (int k = 0; k < kClocksPerStep; ++k) {
      const double at = static_cast<double>(k) / kClocksPerStep;
      if (at >= from && at < to) SendTransport(0xF8, t1 - (c1 + back - at) * d);
    }
  };
  if (crossed) {
    send(c0, 1.0, 1.0);
    if (newStep) send(0.0, c1, 0.0);
  } else {
    send(c0, c1, 0.0);
  }
}

void Player::Route(bool on, int noteTrack, int note, int velocity, int channel, int output, int pitchChange,
                   double time) {
  if (time < 0) time = clockTime;
  int t = TransposedNote(note, pitchChange);
  if (output == 0) {
    if (!layering) {
      SendSynth(on, noteTrack, t, velocity);
    } else if (sessions->GetTrackLayer(noteTrack) == noteTrack) {
      SendNoteOnOffLayered(on, noteTrack, note, velocity);
    }
  }
  if (launchpadMode && launchpadLightingNotes) {
    // The pads show the current track's notes, whatever output the track plays on.
    if (noteTrack == track) SendMidi(1, on, t, velocity, 0, time);
  } else if (output == 1) {
    SendMidi(1, on, t, velocity, channel, time);
  }
  if (output == 2) SendMidi(2, on, t, velocity, channel, time);
}

void Player::SendNoteOnOffLayered(bool on, int layerTrack, int note, int velocity) {
  if (!layering || sessions->GetTrackLayer(layerTrack) != layerTrack) return;
  for (int j = 0; j < kTracks; ++j) {
    if (sessions->GetTrackLayer(j) != layerTrack) continue;
    int v = velocity;
    if (on && j != layerTrack && sessions->GetTrackVelocityFixed(j)) v = sessions->GetTrackVelocity(j);
    SendSynth(on, j, TransposedNote(note, sessions->GetTrackPitch(j)), on ? v : 0);
  }
}

void Player::ResetTrackStepsToStart() {
  for (int t = 0; t < kTracks; ++t) {
    int start, end;
    sessions->GetStartEndSteps(playhead.session, t, start, end);
    playhead.trackStep[t] = start;
  }
}

void Player::AdvanceTrackSteps() {
  for (int t = 0; t < kTracks; ++t) {
    int start, end;
    sessions->GetStartEndSteps(playhead.session, t, start, end);
    int next = playhead.trackStep[t] + 1;
    playhead.trackStep[t] = next > end ? start : next;
  }
}

bool Player::SoundsInSession(int t) const {
  int solo = sessions->GetSingle(playhead.session);
  return (solo == -1 || solo == t) && !sessions->GetMuted(playhead.session, t);
}

void Player::Update(double elapsed) {
  const double d = StepDuration();
  const double f0 = playhead.fraction;
  const double p = elapsed / d + f0;
  const bool crossed = p >= 1;
  const double f1 = crossed ? p - 1 : p;
  // This update covers t0..t1; a position x of the step that holds f1 lies at t1 - (f1 - x) * d.
  // Until its end the present is t0, so that what goes out "now" from inside it (the note-offs
  // of a loop's restart) comes before every note it starts.
  const double t0 = clockTime;
  const double t1 = std::isfinite(elapsed) && elapsed > 0 ? t0 + elapsed : t0;
  due.clear();
  if (playing && transportPending != Transport::kNone) {
    if (transportPending == Transport::kStart) {
      SendTransport(0xFA, t0);
    } else {
      int start, end;
      sessions->GetStartEndSteps(playhead.session, track, start, end);
      // In MIDI beats (sixteenth notes), which are steps: the current track's place in its range.
      const int beats = std::max(0, playhead.trackStep[track] - start);
      for (MidiOutput* out : {midiOut1, midiOut2}) {
        if (midiClock && out && out->IsUsable()) out->SendSongPosition(beats, t0);
      }
      SendTransport(0xFB, t0);
    }
  }
  transportPending = Transport::kNone;
  const bool clockTicks = midiClock && std::isfinite(elapsed) && elapsed > 0;
  bool loopRestarted = false;
  if (clockTicks && !playing) {
    const double c0 = clockFraction;
    const double c = elapsed / d + c0;
    clockFraction = c >= 1 ? c - 1 : c;
    SendClocks(c0, clockFraction, c >= 1, t1, d, true);
  }
  for (auto& times : gatheredTimes) times.clear();
  if (playing) {
    noteOffs->Update(elapsed, due);
    playhead.fraction = f1;
    if (crossed) {
      ++playhead.stepCount;
      ++playhead.partStep;
    }
  }
  for (auto& list : gathered) list.clear();

  if (playing) {
    if (crossed) {
      for (int t = 0; t < kTracks; ++t) {
        sessions->GetNotesInOffsetRange(playhead.session, t, playhead.trackStep[t], f0, 1.0, gathered[t]);
        for (const Note& n : gathered[t]) gatheredTimes[t].push_back(t1 - (f1 + 1.0 - n.offset / 128.0) * d);
      }
      bool partChanged = false;
      if (playingSong && !song.empty()) {
        int part = std::clamp(playhead.songPart, 0, static_cast<int>(song.size()) - 1);
        if (playhead.partStep >= song[part].length) {
          playhead.partStep = 0;
          playhead.songPart = (part + 1) % static_cast<int>(song.size());
          playhead.session = song[playhead.songPart].session;
          ResetTrackStepsToStart();
          partChanged = true;
        }
      }
      if (!partChanged) {
        if (!looping || playhead.trackStep[loopTrack] < loopEndStep) {
          AdvanceTrackSteps();
        } else {
          Halt();
          loopRestarted = true;
          looping = true;
          SetPlayhead(playhead.session, loopTrack, loopStartStep);
          playing = true;
        }
      }
    }
    // The loop starts again at t1 (its notes before f1 wait for the next update), and so do
    // the clocks of its first step.
    if (clockTicks) SendClocks(f0, f1, crossed, t1, d, !loopRestarted);
    for (int t = 0; t < kTracks; ++t) {
      double from = crossed ? 0.0 : f0;
      sessions->GetNotesInOffsetRange(playhead.session, t, playhead.trackStep[t], from, playhead.fraction, scratch);
      gathered[t].insert(gathered[t].end(), scratch.begin(), scratch.end());
      for (const Note& n : scratch) gatheredTimes[t].push_back(t1 - (f1 - n.offset / 128.0) * d);
    }
    for (int t = 0; t < kTracks; ++t) {
      for (Note& n : gathered[t]) {
        n.channel = static_cast<uint8_t>(sessions->GetTrackChannel(t));
        n.output = static_cast<uint8_t>(sessions->GetTrackOutput(t));
        n.pitchChange = static_cast<uint8_t>(sessions->GetTrackPitch(t));
      }
    }
  }

  const size_t endedByTime = due.size();
  for (int t = 0; t < kTracks; ++t) noteOffs->ForceNoteOffs(t, gathered[t], due);
  if (playing) {
    for (int t = 0; t < kTracks; ++t) {
      for (size_t i = 0; i < gathered[t].size(); ++i) {
        const Note& n = gathered[t][i];
        // The gate counts from the note's own time, not from the end of this update.
        const double gate = (n.gate + n.gateFraction / 128.0) * d - (t1 - gatheredTimes[t][i]);
        noteOffs->Add(n.note, t, gate, n.channel, n.output, n.pitchChange);
      }
    }
  }
  for (size_t i = 0; i < due.size(); ++i) {
    const NoteOffQueueEntry& e = due[i];
    // A forced note-off makes way for a note of this update, none of which lies before t0.
    double at = i < endedByTime ? t1 + e.time : t0;
    // A note ending where the same key starts again must end first, whatever the rounding.
    for (size_t j = 0; j < gathered[e.track].size(); ++j) {
      if (gathered[e.track][j].note == e.note) at = std::min(at, gatheredTimes[e.track][j]);
    }
    Route(false, e.track, e.note, 0, e.channel, e.output, e.pitchChange, at);
  }
  for (int t = 0; t < kTracks; ++t) {
    if (gathered[t].empty() || !SoundsInSession(t)) continue;
    bool fixed = sessions->GetTrackVelocityFixed(t);
    int fixedVelocity = sessions->GetTrackVelocity(t);
    for (size_t i = 0; i < gathered[t].size(); ++i) {
      const Note& n = gathered[t][i];
      Route(true, t, n.note, fixed ? fixedVelocity : n.velocity, n.channel, n.output, n.pitchChange,
            gatheredTimes[t][i]);
    }
  }
  if (playing) clockFraction = playhead.fraction;
  clockTime = t1;
}

void Player::Play(bool songPlay) {
  if (playing) return;
  if (songPlay && song.empty()) return;
  playhead.songPart = playhead.partStep = playhead.stepCount = 0;
  if (songPlay) playhead.session = song[0].session;
  ResetTrackStepsToStart();
  playhead.fraction = 0;
  playing = true;
  playingSong = songPlay;
  if (midiClock) transportPending = Transport::kStart;
}

void Player::Continue() {
  if (!playing && midiClock) transportPending = Transport::kContinue;
  playing = true;
}

void Player::Stop() {
  if (!playing) return;
  Halt();
  if (midiClock) SendTransport(0xFC, clockTime);
}

void Player::Halt() {
  if (!playing) return;
  if (recording) {
    completed.clear();
    completions->Flush(playhead, completed);
    for (const NoteCompletionQueueEntry& e : completed) {
      Route(false, e.track, e.note, 0, e.channel, e.output, e.pitchChange);
      sessions->SetGate(e.session, e.track, e.step, e.note, e.gate, e.gateFraction);
    }
  }
  // Stop can run inside Update, whose due list is still to be sent: use a list of its own.
  noteOffs->Flush(flushed);
  for (const NoteOffQueueEntry& e : flushed) Route(false, e.track, e.note, 0, e.channel, e.output, e.pitchChange);
  flushed.clear();
  playing = false;
  looping = false;
}

void Player::SetPlayhead(int session, int t, int step) {
  if (playing) return;
  int start, end;
  sessions->GetStartEndSteps(session, t, start, end);
  if (step < start || step > end) return;
  playingSong = false;
  playhead.songPart = playhead.partStep = playhead.stepCount = 0;
  playhead.session = session;
  playhead.fraction = 0;
  for (int i = 0; i < kTracks; ++i) {
    if (i == t) {
      playhead.trackStep[i] = step;
      continue;
    }
    int s0, s1;
    sessions->GetStartEndSteps(session, i, s0, s1);
    int length = s1 - s0 + 1;
    int distance = step - start;
    playhead.trackStep[i] = length > 0 ? s0 + distance % length : s0;
  }
}

void Player::SetPlayheadLooping(int session, int t, int startStep, int endStep) {
  looping = true;
  loopTrack = t;
  loopStartStep = startStep;
  loopEndStep = endStep;
  SetPlayhead(session, t, startStep);
}

void Player::SetSession(int session) {
  if (playing) {
    Stop();
    playhead.session = session;
    Play(false);
    return;
  }
  playhead.session = session;
  playhead.songPart = playhead.partStep = playhead.stepCount = 0;
  ResetTrackStepsToStart();
  playhead.fraction = 0;
}

void Player::SetTrack(int t) {
  if (launchpadMode && launchpadLightingNotes && midiOut1 && midiOut1->IsUsable()) midiOut1->LaunchpadAllNotesOff(clockTime);
  track = t;
}

void Player::SetScale(const ScaleInfo& info) {
  if (info.scale != scale.scale || info.base != scale.base) Flush(track);
  scale = info;
}

void Player::SetLaunchpadLightingNotes(bool on) {
  if (!on && launchpadMode && midiOut1 && midiOut1->IsUsable()) midiOut1->LaunchpadAllNotesOff(clockTime);
  launchpadLightingNotes = on;
}

void Player::Flush(int t) {
  completed.clear();
  completions->Flush(playhead, t, completed);
  int channel = sessions->GetTrackChannel(t);
  for (const NoteCompletionQueueEntry& e : completed) {
    // Routing already keeps a track layered onto another off the synthesizer; its MIDI
    // note-offs must still go out, or a live note on a MIDI output would hang.
    Route(false, e.track, e.note, 0, channel, e.output, e.pitchChange);
    if (recording) sessions->SetGate(e.session, e.track, e.step, e.note, e.gate, e.gateFraction);
  }
  noteOffs->Flush(t, flushed, false);
  for (const NoteOffQueueEntry& e : flushed) Route(false, e.track, e.note, 0, channel, e.output, e.pitchChange);
  flushed.clear();
}
