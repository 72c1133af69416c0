// SPDX-License-Identifier: LGPL-2.1-or-later
#include <algorithm>
#include <cstdio>

#include "sound/SFOutput.h"

namespace {

constexpr int kVolumeController = 7;
constexpr int kPanController = 10;
constexpr int kReverbSendController = 91;
constexpr int kChorusSendController = 93;

// fluidsynth's effect parameter calls take an effects group; -1 addresses all of them and
// reading group 0 gives the value they share (one group is configured).
constexpr int kAllFxGroups = -1;
constexpr int kFirstFxGroup = 0;

}  // namespace

fluid_synth_t* SFOutput::TrackSynth(int track, int* channel) const {
  int ch = TrackChannel(track);
  if (channel) *channel = ch;
  if (ch < 0) {
    printf("error: track %d out of range\n", track);
    return nullptr;
  }
  return GetSynth(trackInstruments[track].soundfont);
}

void SFOutput::SendNoteOn(const Playhead&, int track, int note, int velocity) {
  int channel;
  fluid_synth_t* synth = TrackSynth(track, &channel);
  // A missing soundfont has no preset: fluidsynth would warn about every note.
  if (synth && !IsSoundfontMissing(trackInstruments[track].soundfont)) fluid_synth_noteon(synth, channel, note, velocity);
}

void SFOutput::SendNoteOff(const Playhead&, int track, int note, int) {
  int channel;
  if (fluid_synth_t* synth = TrackSynth(track, &channel)) fluid_synth_noteoff(synth, channel, note);
}

int SFOutput::GetController(int track, int controller) const {
  int channel;
  int value = 0;
  if (fluid_synth_t* synth = TrackSynth(track, &channel)) fluid_synth_get_cc(synth, channel, controller, &value);
  return value;
}

void SFOutput::SetController(int track, int controller, int value) {
  int channel;
  if (fluid_synth_t* synth = TrackSynth(track, &channel)) fluid_synth_cc(synth, channel, controller, value);
}

int SFOutput::GetVolume(int track) const { return GetController(track, kVolumeController); }
void SFOutput::SetVolume(int track, int value) { SetController(track, kVolumeController, value); }
int SFOutput::GetPan(int track) const { return GetController(track, kPanController); }
void SFOutput::SetPan(int track, int value) { SetController(track, kPanController, value); }
int SFOutput::GetReverbSend(int track) const { return GetController(track, kReverbSendController); }
void SFOutput::SetReverbSend(int track, int value) { SetController(track, kReverbSendController, value); }
int SFOutput::GetChorusSend(int track) const { return GetController(track, kChorusSendController); }
void SFOutput::SetChorusSend(int track, int value) { SetController(track, kChorusSendController, value); }

void SFOutput::GetReverb(int track, double& roomSize, double& damping, double& width, double& level) const {
  roomSize = damping = width = level = 0.0;
  if (TrackSynth(track)) GetReverbFromSF(trackInstruments[track].soundfont, roomSize, damping, width, level);
}

void SFOutput::SetReverb(int track, double roomSize, double damping, double width, double level) {
  fluid_synth_t* synth = TrackSynth(track);
  if (!synth) return;
  fluid_synth_set_reverb_group_roomsize(synth, kAllFxGroups, roomSize);
  fluid_synth_set_reverb_group_damp(synth, kAllFxGroups, damping);
  fluid_synth_set_reverb_group_width(synth, kAllFxGroups, width);
  fluid_synth_set_reverb_group_level(synth, kAllFxGroups, level);
}

void SFOutput::GetReverbFromSF(int soundfont, double& roomSize, double& damping, double& width,
                               double& level) const {
  roomSize = damping = width = level = 0.0;
  fluid_synth_t* synth = GetSynth(soundfont);
  if (!synth) return;
  fluid_synth_get_reverb_group_roomsize(synth, kFirstFxGroup, &roomSize);
  fluid_synth_get_reverb_group_damp(synth, kFirstFxGroup, &damping);
  fluid_synth_get_reverb_group_width(synth, kFirstFxGroup, &width);
  fluid_synth_get_reverb_group_level(synth, kFirstFxGroup, &level);
}

bool SFOutput::IsReverbEnabled(int track) const { return track >= 0 && track < kTracks && reverbEnabled[track]; }

void SFOutput::SetReverbEnabled(int track, bool on) {
  int channel;
  fluid_synth_t* synth = TrackSynth(track, &channel);
  if (synth) fluid_synth_reverb_on(synth, kAllFxGroups, on ? 1 : 0);
  if (channel >= 0) reverbEnabled[track] = on;
}

void SFOutput::GetChorus(int track, int& voiceCount, double& level, double& speed, double& depthMs,
                         int& type) const {
  voiceCount = type = 0;
  level = speed = depthMs = 0.0;
  if (TrackSynth(track)) GetChorusFromSF(trackInstruments[track].soundfont, voiceCount, level, speed, depthMs, type);
}

void SFOutput::SetChorus(int track, int voiceCount, double level, double speed, double depthMs, int type) {
  fluid_synth_t* synth = TrackSynth(track);
  if (!synth) return;
  fluid_synth_set_chorus_group_nr(synth, kAllFxGroups, voiceCount);
  fluid_synth_set_chorus_group_level(synth, kAllFxGroups, level);
  // fluidsynth keeps the speed's limits (0.1 .. 5 Hz) in single precision and refuses the double
  // 0.1, which lies a hair below 0.1f; a refused value would leave the old speed in place.
  fluid_synth_set_chorus_group_speed(synth, kAllFxGroups, std::clamp(speed, double(0.1f), double(5.0f)));
  fluid_synth_set_chorus_group_depth(synth, kAllFxGroups, depthMs);
  fluid_synth_set_chorus_group_type(synth, kAllFxGroups, type);
}

void SFOutput::GetChorusFromSF(int soundfont, int& voiceCount, double& level, double& speed, double& depthMs,
                               int& type) const {
  voiceCount = type = 0;
  level = speed = depthMs = 0.0;
  fluid_synth_t* synth = GetSynth(soundfont);
  if (!synth) return;
  fluid_synth_get_chorus_group_nr(synth, kFirstFxGroup, &voiceCount);
  fluid_synth_get_chorus_group_level(synth, kFirstFxGroup, &level);
  fluid_synth_get_chorus_group_speed(synth, kFirstFxGroup, &speed);
  fluid_synth_get_chorus_group_depth(synth, kFirstFxGroup, &depthMs);
  fluid_synth_get_chorus_group_type(synth, kFirstFxGroup, &type);
}

bool SFOutput::IsChorusEnabled(int track) const { return track >= 0 && track < kTracks && chorusEnabled[track]; }

void SFOutput::SetChorusEnabled(int track, bool on) {
  int channel;
  fluid_synth_t* synth = TrackSynth(track, &channel);
  if (synth) fluid_synth_chorus_on(synth, kAllFxGroups, on ? 1 : 0);
  if (channel >= 0) chorusEnabled[track] = on;
}
