// SPDX-License-Identifier: LGPL-2.1-or-later
#include "sound/SFOutput.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace {

constexpr double kSampleRate = 44100.0;
// The meter falls by 20 dB in this time once the sound stops.
constexpr double kMeterFallSeconds = 0.5;
// How long shutdown waits for an audio driver to stop. A driver whose sound server died can
// wait forever for it (fluidsynth's ALSA driver over the JACK plug-in, stuck in poll()).
constexpr std::chrono::seconds kDriverStopLimit(2);

// Deletes the driver on a thread of its own; false when that did not end within the limit.
// The thread is then left behind, and with it everything the driver's audio thread uses.
bool DeleteDriverWithin(fluid_audio_driver_t* driver, std::chrono::seconds limit) {
  struct Done {
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
  };
  auto state = std::make_shared<Done>();
  std::thread([driver, state] {
    delete_fluid_audio_driver(driver);
    std::lock_guard<std::mutex> lock(state->mutex);
    state->done = true;
    state->changed.notify_all();
  }).detach();
  std::unique_lock<std::mutex> lock(state->mutex);
  return state->changed.wait_for(lock, limit, [&] { return state->done; });
}

}  // namespace

SFOutput::SFOutput() = default;

// Synthesizers, drivers and settings are freed by Shutdown, which the owner calls before
// deleting; calling it here as well keeps a forgotten Shutdown from leaving audio threads
// running on freed memory.
SFOutput::~SFOutput() { Shutdown(); }

bool SFOutput::Init(const std::string& baseDirectory, const std::vector<std::string>& soundfontPaths,
                    const std::vector<double>& gains, int audioBufferSize, bool fx,
                    const std::string& effectName) {
  (void)effectName;
  const char* version = fluid_version_str();
  if (version) printf("fluidsynth version = %s\n", version);

  if (settings) {
    printf("error: synthesizer already initialized\n");
    return false;
  }
  if (soundfontPaths.size() > static_cast<size_t>(kSoundfontSlots)) {
    printf("error: %zu soundfonts given, at most %d can be loaded\n", soundfontPaths.size(), kSoundfontSlots);
    return false;
  }
  if (gains.size() < soundfontPaths.size()) {
    printf("error: %zu soundfonts given but only %zu gains\n", soundfontPaths.size(), gains.size());
    return false;
  }
  numSoundfonts = static_cast<int>(soundfontPaths.size());

  int reverbActive = 0;
  int chorusActive = 0;
  settings = CreateSettings();
  fluid_settings_getint(settings, "synth.reverb.active", &reverbActive);
  fluid_settings_getint(settings, "synth.chorus.active", &chorusActive);
  printf("initial settings: reverb active = %d\n", reverbActive);
  printf("initial settings: chorus active = %d\n", chorusActive);
  fluid_settings_setstr(settings, "synth.midi-bank-select", "mma");
  fluid_settings_setint(settings, "audio.periods", 16);
  fluid_settings_setint(settings, "audio.period-size", audioBufferSize);
  int rv = fluid_settings_setint(settings, "synth.ladspa.active", 1);
  printf("set synth.ladspa.active=1 rv=%d\n", rv);

  for (int i = 0; i < numSoundfonts; ++i) {
    reverbEnabled[i] = reverbActive == 1;
    chorusEnabled[i] = chorusActive == 1;
    missing[i] = !CreateSynth(i, soundfontPaths[i], gains[i]);
    if (missing[i]) missingNames[i] = soundfontPaths[i].substr(soundfontPaths[i].rfind('/') + 1);
    BuildEffectChain(i, baseDirectory, fx);
    audioDriverData[i].ready.store(true, std::memory_order_release);
  }
  // One missing soundfont should not cost the songs that never use it; with none there is
  // nothing to play at all.
  int loadedCount = 0;
  for (int i = 0; i < numSoundfonts; ++i) loadedCount += missing[i] ? 0 : 1;
  if (loadedCount == 0) {
    printf("error: no soundfont could be loaded\n");
    return false;
  }
  PrintEffectSettings();
  BuildInstrumentLists();
  for (TrackInstrument& t : trackInstruments) t = TrackInstrument{0, -1, -1, -1, -1};
  return true;
}

fluid_settings_t* SFOutput::CreateSettings() {
  fluid_settings_t* s = new_fluid_settings();
  fluid_settings_setint(s, "synth.polyphony", 128);
  fluid_settings_setnum(s, "synth.sample-rate", kSampleRate);
  fluid_settings_setstr(s, "audio.driver", "alsa");
  return s;
}

// Creates synthesizer and audio driver of one slot and loads its soundfont. Returns false
// when the soundfont could not be loaded; the synthesizer exists in any case.
bool SFOutput::CreateSynth(int i, const std::string& path, double gain) {
  synths[i] = new_fluid_synth(settings);
  AudioDriverData& data = audioDriverData[i];
  data.synth = synths[i];
  data.peak.store(0.0f, std::memory_order_relaxed);
  data.releasePerFrame = static_cast<float>(std::exp(std::log(0.1) / (kMeterFallSeconds * kSampleRate)));
  // Our own block callback instead of the library's plain one, only to measure the level;
  // it renders exactly what the plain driver would.
  audioDrivers[i] = new_fluid_audio_driver2(settings, AudioDriverCallback, &data);
  if (!audioDrivers[i]) printf("error: could not create audio driver for soundfont %d\n", i);

  printf("loading sf %d\n", i);
  soundfontIds[i] = fluid_synth_sfload(synths[i], path.c_str(), 1);
  bool loaded = soundfontIds[i] != FLUID_FAILED;
  if (!loaded) {
    FILE* file = fopen(path.c_str(), "rb");
    const char* reason = file ? "not a soundfont fluidsynth can read" : strerror(errno);
    if (file) fclose(file);
    printf("error: soundfont %d (%s) could not be loaded: %s\n", i, path.c_str(), reason);
  }
  fluid_synth_set_interp_method(synths[i], -1, FLUID_INTERP_4THORDER);
  if (gain >= 0.0 && gain <= 10.0) fluid_synth_set_gain(synths[i], static_cast<float>(gain));
  return loaded;
}

void SFOutput::PrintEffectSettings() const {
  for (int i = 0; i < numSoundfonts; ++i) {
    double room, damp, width, level;
    GetReverbFromSF(i, room, damp, width, level);
    printf("sf %d reverb room=%lf, damp=%lf, width=%lf, level=%lf\n", i, room, damp, width, level);
    int voices, type;
    double chorusLevel, speed, depthMs;
    GetChorusFromSF(i, voices, chorusLevel, speed, depthMs, type);
    printf("sf %d chorus voiceCount=%d, level=%lf, speed=%lf, depthMs=%lf, type=%d\n", i, voices, chorusLevel,
           speed, depthMs, type);
  }
}

bool SFOutput::IsSoundfontMissing(int soundfont) const {
  return soundfont >= 0 && soundfont < kSoundfontSlots && missing[soundfont];
}

void SFOutput::Shutdown() {
  bool driverLeft = false;
  for (int i = 0; i < kSoundfontSlots; ++i) {
    missing[i] = false;
    missingNames[i].clear();
    if (synths[i]) {
      const int channels = fluid_synth_count_midi_channels(synths[i]);
      for (int channel = 0; channel < channels; ++channel) fluid_synth_all_notes_off(synths[i], channel);
    }
    // The driver first: its audio thread renders the synthesizer until it is gone. A driver
    // that does not stop keeps its synthesizer (and the settings) for the rest of the run.
    bool stopped = true;
    if (audioDrivers[i] && !DeleteDriverWithin(audioDrivers[i], kDriverStopLimit)) {
      printf("error: audio driver %d did not stop within %d s (sound server gone?); left running\n", i,
             static_cast<int>(kDriverStopLimit.count()));
      stopped = false;
      driverLeft = true;
    }
    audioDrivers[i] = nullptr;
    if (synths[i] && stopped) delete_fluid_synth(synths[i]);
    synths[i] = nullptr;
    audioDriverData[i].synth = nullptr;
    audioDriverData[i].ready.store(false, std::memory_order_relaxed);
    audioDriverData[i].peak.store(0.0f, std::memory_order_relaxed);
  }
  if (settings && !driverLeft) delete_fluid_settings(settings);
  settings = nullptr;
}

fluid_synth_t* SFOutput::GetSynth(int soundfont) const {
  if (soundfont < 0 || soundfont >= kSoundfontSlots) return nullptr;
  return synths[soundfont];
}

bool SFOutput::HasAudioDriver(int soundfont) const {
  return soundfont >= 0 && soundfont < kSoundfontSlots && audioDrivers[soundfont] != nullptr;
}
