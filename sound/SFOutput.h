// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <atomic>
#include <string>
#include <vector>

#include <fluidsynth.h>

#include "player/Playhead.h"
#include "sound/Instruments.h"

// One control port of an external effect of the chain.
struct EffectParam {
  std::string name;  // the plug-in's control port name
  double value = 0.0;
  double min = 0.0;
  double max = 0.0;
  double defaultValue = 0.0;  // what activation sets
};

// The external reverb or equalizer of one soundfont.
struct ExternalEffect {
  static constexpr int kParams = 11;
  bool available = false;  // set up and activated with the chain; fixed after Init
  bool active = false;     // switched on (not bypassed)
  int program = 0;         // EQ_program row applied on activation (the reverb ignores it)
  EffectParam params[kParams];
};

struct LimiterState {
  bool available = false;
  bool active = false;
};

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
  // effectName is accepted for the caller's convenience and not used. A soundfont that cannot
  // be loaded is reported (file and reason) and keeps its number: its synthesizer exists, its
  // tracks keep their instruments and stay silent (IsSoundfontMissing). Returns false when no
  // soundfont at all can be loaded, when more than 12 soundfonts or fewer gains than soundfonts
  // are given, or when already initialised; every failure prints an "error: " line. A
  // soundfont without an audio driver (no sound device) still takes notes and controls.
  bool Init(const std::string& baseDirectory, const std::vector<std::string>& soundfontPaths,
            const std::vector<double>& gains, int audioBufferSize, bool fx,
            const std::string& effectName);
  // Whether any soundfont plays through an audio device (false: everything is silent).
  bool HasAudioDevice() const {
    for (const fluid_audio_driver_t* d : audioDrivers) {
      if (d) return true;
    }
    return false;
  }
  // Stops the audio drivers and frees synthesizers and settings. Safe to call twice.
  void Shutdown();
  // True for a soundfont listed but not loaded by Init.
  bool IsSoundfontMissing(int soundfont) const;

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

  // The external effects of the track's soundfont (shared by every track on it). Values go to
  // the plug-ins as floats; setters store the values even when the effect is not available,
  // and switching on an effect that is not available leaves it off. Reverb parameters, in
  // order: "In Delay", "LF X", "Low RT60", "Mid RT60", "HF Damping", "Eq1 Freq", "Eq1 Level",
  // "Eq2 Freq", "Eq2 Level", "Dry/Wet Mix", "Level". Equalizer: "Gain" (linear 0..4), then
  // the bands 31 Hz .. 16 kHz in dB (-12..12). A track outside 0..11 does nothing (getters
  // return false or leave the output untouched).
  bool GetExternalReverbAvailable(int track) const;
  bool GetExternalReverbActive(int track) const;
  void SetExternalReverbActive(int track, bool on);
  void SetExternalReverbParams(int track, const double values[ExternalEffect::kParams]);
  void SetExternalReverbSingleParam(int track, int index, double value);
  void GetExternalReverbParams(int track, double values[ExternalEffect::kParams]) const;
  bool GetExternalEqualizerAvailable(int track) const;
  bool GetExternalEqualizerActive(int track) const;
  void SetExternalEqualizerActive(int track, bool on);
  void SetExternalEqualizerParams(int track, const double values[ExternalEffect::kParams]);
  void SetExternalEqualizerSingleParam(int track, int index, double value);
  void GetExternalEqualizerParams(int track, double values[ExternalEffect::kParams]) const;
  // The limiter of a soundfont slot; when it is not active the slot's whole chain is off.
  LimiterState GetLimiterState(int soundfont) const;

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
    // Set (release) once Init has finished the synthesizer: soundfont loaded, effect chain built
    // and active. Until then the callback renders nothing, so the setup happens-before every
    // block the chain's plug-ins run in.
    std::atomic<bool> ready{false};
    std::atomic<float> peak{0.0f};
    float releasePerFrame = 1.0f;  // meter fall per frame, set before the driver starts
    // Set once the chain's limiter runs. fluidsynth runs the LADSPA chain before it adds its
    // own reverb and chorus, so the limiter plug-in never sees them; the callback then keeps
    // the final mix within full scale itself.
    std::atomic<bool> limitToFullScale{false};
    float limiterEnvelope = 1.0f;  // audio thread only
    float limiterReleasePerFrame = 1.0f;
  };
  // The audio driver's block callback: renders the synthesizer with reverb and chorus mixed
  // into the dry output and measures the peak. Only safe from the audio thread (or instead of it).
  static int AudioDriverCallback(void* data, int len, int nfx, float* fx[], int nout, float* out[]);

  fluid_settings_t* CreateSettings();
  bool CreateSynth(int soundfont, const std::string& path, double gain);
  // Builds the LADSPA effect chain of one soundfont right after it was loaded and its gain
  // set. The chain lives in the synthesizer's LADSPA host and goes with the synthesizer.
  void BuildEffectChain(int soundfont, const std::string& baseDirectory, bool fx);
  // Reads ./fx.dat, sets the plug-in's environment variable and adds the bridge; soundfont 0 only.
  void AddVstBridge(fluid_ladspa_fx_t* host, const std::string& baseDirectory);
  // The soundfont of a track, -1 (reported) for a track out of range.
  int TrackSoundfont(int track) const;
  ExternalEffect* TrackEffect(ExternalEffect* effects, int track);
  const ExternalEffect* TrackEffect(const ExternalEffect* effects, int track) const;
  void SetEffectActive(ExternalEffect* effects, const char* effectName, int track, bool on);
  void SetEffectParams(ExternalEffect* effects, const char* effectName, int track, const double* values);
  void SetEffectSingleParam(ExternalEffect* effects, const char* effectName, int track, int index, double value);
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
  bool missing[kSoundfontSlots] = {};
  std::string missingNames[kSoundfontSlots];  // file names of the missing soundfonts
  fluid_audio_driver_t* audioDrivers[kSoundfontSlots] = {};
  int numSoundfonts = 0;
  TrackInstrument trackInstruments[kTracks] = {};
  std::vector<Instruments> sfInstruments;
  // One record per soundfont for its audio thread; a member rather than a file-level table so
  // that two SFOutput objects never share meters.
  AudioDriverData audioDriverData[kSoundfontSlots];
  ExternalEffect reverbFx[kSoundfontSlots];
  LimiterState limiterFx[kSoundfontSlots];
  ExternalEffect equalizerFx[kSoundfontSlots];
};
