#pragma once
#include <atomic>
#include <string>
#include <vector>

#include <fluidsynth.h>

#include "player/Playhead.h"
#include "sound/Instruments.h"

// The internal sound generator: one fluidsynth synthesizer with its own audio driver per
// soundfont file (up to 12), instruments per track, notes and per-track channel controls.
//
// Threads: every method is called from the sequencer thread unless it says otherwise; the
// calls go straight into fluidsynth, whose API does its own locking. Each audio driver runs
// its synthesizer from an audio thread of its own (AudioDriverCallback).
//
// Track-to-channel mapping on every synthesizer: tracks 0..8 on channels 0..8, tracks 9, 10,
// 11 on channels 10, 11, 12. Channel 9, the General MIDI drum channel, is never used, so a
// track always plays the bank and program it was given.
class SFOutput {
 public:
  static constexpr int kSoundfontSlots = 12;
  static constexpr int kTracks = 12;

  // Channel of a track on its synthesizer; -1 for a track outside 0..11.
  static constexpr int TrackChannel(int track) {
    if (track < 0 || track >= kTracks) return -1;
    return track < 9 ? track : track + 1;
  }

  SFOutput();
  ~SFOutput();
  SFOutput(const SFOutput&) = delete;
  SFOutput& operator=(const SFOutput&) = delete;

  // Creates a synthesizer and an audio driver per soundfont, loads the soundfonts, builds
  // their effect chains and the instrument lists. baseDirectory is the program's directory
  // ending in '/'; gains[i] (0..10, otherwise fluidsynth's default) belongs to soundfontPaths[i];
  // audioBufferSize is the ALSA period size in frames; fx asks for the VST bridge on soundfont 0.
  // effectName is accepted for the caller's convenience and not used. Returns false when a
  // soundfont cannot be loaded (later soundfonts are then not created), when more than 12
  // soundfonts or fewer gains than soundfonts are given, or when already initialised; every
  // failure prints an "error: " line. A soundfont without an audio driver (no sound device)
  // still takes notes and controls.
  bool Init(const std::string& baseDirectory, const std::vector<std::string>& soundfontPaths,
            const std::vector<double>& gains, int audioBufferSize, bool fx,
            const std::string& effectName);
  // Stops the audio drivers and frees synthesizers and settings. Safe to call twice.
  void Shutdown();

  // Notes on the synthesizer of the track's soundfont, on the track's channel. The playhead
  // is not needed here; the note-off velocity is ignored.
  void SendNoteOn(const Playhead& playhead, int track, int note, int velocity);
  void SendNoteOff(const Playhead& playhead, int track, int note, int velocity);
  // Nothing to reset: every note the player starts it also ends.
  void SendMidiReset() {}

  // Binds the track to a soundfont, bank number and program number and selects them on the
  // track's channel. Any loaded soundfont index is accepted. On a bank or program the soundfont
  // does not have it returns false: the record then holds the requested soundfont, bank and
  // program (so a project keeps what it asked for), and keeps its old indexes only when the
  // soundfont did not change (they still describe what the channel plays); otherwise -1.
  bool SetInstrument(int track, int soundfont, int bank, int program);
  // The same by positions in the instrument lists of GetSFInstruments.
  bool SetInstrumentFromIndex(int track, int soundfont, int bankIndex, int programIndex);
  TrackInstrument GetInstrument(int track) const;
  // The first program of the first bank that has one, over all soundfonts; all zero if none.
  TrackInstrument GetDefaultInstrument() const;
  // Built by Init, never changed afterwards; safe to read from any thread after Init.
  const std::vector<Instruments>* GetSFInstruments() const { return &sfInstruments; }

  // Recent peak (0..1 and above on overload) of a soundfont's output, falling by 20 dB in
  // about half a second after the sound stops; 0 for a slot without soundfont. Lock-free,
  // safe from any thread.
  float GetCurrentLoudness(int soundfont) const;

  // Mix controls of a track: MIDI controllers on its channel (values 0..127).
  int GetVolume(int track) const;
  void SetVolume(int track, int value);
  int GetPan(int track) const;
  void SetPan(int track, int value);
  int GetReverbSend(int track) const;
  void SetReverbSend(int track, int value);
  int GetChorusSend(int track) const;
  void SetChorusSend(int track, int value);

  // Built-in reverb and chorus belong to the synthesizer, so they are shared by every track
  // on the same soundfont. Units are fluidsynth's.
  void GetReverb(int track, double& roomSize, double& damping, double& width, double& level) const;
  void SetReverb(int track, double roomSize, double damping, double width, double level);
  void GetReverbFromSF(int soundfont, double& roomSize, double& damping, double& width, double& level) const;
  // The enable flags are kept per track number (Init fills the entries of the loaded
  // soundfonts by soundfont index); switching one turns the track's synthesizer's effect
  // on or off.
  bool IsReverbEnabled(int track) const;
  void SetReverbEnabled(int track, bool on);
  void GetChorus(int track, int& voiceCount, double& level, double& speed, double& depthMs, int& type) const;
  void SetChorus(int track, int voiceCount, double level, double speed, double depthMs, int type);
  void GetChorusFromSF(int soundfont, int& voiceCount, double& level, double& speed, double& depthMs,
                       int& type) const;
  bool IsChorusEnabled(int track) const;
  void SetChorusEnabled(int track, bool on);

  // The synthesizer of a soundfont slot, null when none was created. For the effect chain,
  // tests and tools; the object stays owned by SFOutput.
  fluid_synth_t* GetSynth(int soundfont) const;
  bool HasAudioDriver(int soundfont) const;
  // Renders the next block of a soundfont whose audio driver is absent, exactly as the driver
  // would (reverb and chorus mixed in, effect chain applied, loudness updated). left and right
  // receive frames samples each. Returns false when the slot has no synthesizer or a driver
  // is running it (the driver owns the rendering then).
  bool RenderBlock(int soundfont, int frames, float* left, float* right);

 private:
  // What the block callback of one soundfont's audio thread needs. The callback writes peak;
  // any thread reads it.
  struct AudioDriverData {
    fluid_synth_t* synth = nullptr;
    std::atomic<float> peak{0.0f};
    float releasePerFrame = 1.0f;  // meter fall per frame, set before the driver starts
  };
  // The audio driver's block callback: renders the synthesizer with reverb and chorus mixed
  // into the dry output and measures the peak. Only safe from the audio thread (or instead of it).
  static int AudioDriverCallback(void* data, int len, int nfx, float* fx[], int nout, float* out[]);

  fluid_settings_t* CreateSettings();
  bool CreateSynth(int soundfont, const std::string& path, double gain);
  // Builds the LADSPA effect chain of one soundfont right after it was loaded and its gain
  // set. The chain lives in the synthesizer's LADSPA host and goes with the synthesizer.
  void BuildEffectChain(int soundfont, const std::string& baseDirectory, bool fx);
  void PrintEffectSettings() const;
  void BuildInstrumentLists();
  // The synthesizer and channel of a track; null (and channel -1) when the track is out of
  // range (reported) or its soundfont has no synthesizer.
  fluid_synth_t* TrackSynth(int track, int* channel = nullptr) const;
  int GetController(int track, int controller) const;
  void SetController(int track, int controller, int value);

  fluid_settings_t* settings = nullptr;  // shared by all synthesizers and drivers
  fluid_synth_t* synths[kSoundfontSlots] = {};
  bool reverbEnabled[kTracks] = {};
  bool chorusEnabled[kTracks] = {};
  int soundfontIds[kSoundfontSlots] = {};
  fluid_audio_driver_t* audioDrivers[kSoundfontSlots] = {};
  int numSoundfonts = 0;
  TrackInstrument trackInstruments[kTracks] = {};
  std::vector<Instruments> sfInstruments;
  // One record per soundfont for its audio thread; a member rather than a file-level table so
  // that two SFOutput objects never share meters.
  AudioDriverData audioDriverData[kSoundfontSlots];
};
