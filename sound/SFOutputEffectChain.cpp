// SPDX-License-Identifier: LGPL-2.1-or-later
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "sound/ExternalEffectRanges.h"
#include "sound/FxSettings.h"
#include "sound/SFOutput.h"

// The LADSPA effect chain of every soundfont: equalizer, reverb, the VST bridge on soundfont 0
// with -x, limiter last. Each member is linked in place on the synthesizer's main output, so
// they run one after the other on the same two buffers. The plug-ins live in
// "../share/plugins/" beside the program's directory.

namespace {

struct ChainMember {
  const char* effectName;
  const char* library;  // relative to the program's directory
  const char* label;
  const char* ports[4];  // input left, input right, output left, output right
};

const ChainMember kEqualizer = {"738150399", "../share/plugins/Equalizer.so", "zembrovane_equalizer_10_band_stereo",
                                {"Input (Left)", "Input (Right)", "Output (Left)", "Output (Right)"}};
const ChainMember kReverb = {"738150400", "../share/plugins/ReverbZitaRev1.so", "reverb_zita_rev1",
                             {"Audio Input 1", "Audio Input 2", "Audio Output 1", "Audio Output 2"}};
const ChainMember kBridge = {"738150397", "../share/plugins/Outrigger.so", "zembrovane_fx_linuxvst",
                             {"Input (Left)", "Input (Right)", "Output (Left)", "Output (Right)"}};
const ChainMember kLimiter = {"738150395", "../share/plugins/Limiter.so", "zembrovane_hard_limiter_stereo",
                              {"Input (Left)", "Input (Right)", "Output (Left)", "Output (Right)"}};

constexpr double kSampleRate = 44100.0;
// Time constant of the full-scale stage's recovery after a peak.
constexpr double kFullScaleReleaseSeconds = 0.05;

const char* const kFxEnvironmentVariable = "ZEMBROVANE_SEQUENCER_FX_LINUX_VST";
const char* const kFxFile = "./fx.dat";

constexpr int kBands = 10;
const char* const EQ_portNames[kBands] = {"31 Hz", "63 Hz", "125 Hz", "250 Hz", "500 Hz",
                                          "1 kHz", "2 kHz", "4 kHz",  "8 kHz",  "16 kHz"};

// Band presets, in steps of 12/89 dB (row 0 flat); activation applies the equalizer's program.
constexpr int kEqPrograms = 9;
constexpr int kEqProgramSteps[kEqPrograms][kBands] = {
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0},          {38, 36, 30, 7, 16, 14, 27, 30, 27, 16},
    {22, 16, 2, 19, 22, 11, 27, 33, 22, 27}, {-10, -7, 2, 16, 30, 30, 16, 2, -7, -9},
    {37, 30, 22, 11, -4, -7, 4, 18, 25, 32}, {33, 33, 2, 2, -10, -10, -10, 2, 22, 33},
    {32, 29, 9, 2, -15, 17, 6, 9, 30, 37},   {40, 31, 26, 18, 9, 2, 2, 2, 2, 2},
    {38, 36, 30, 7, 16, -2, -2, 0, 0, 0}};

double EqProgramGain(int program, int band) { return 12.0 * kEqProgramSteps[program][band] / 89.0; }

// The parameter templates every soundfont's external effects start from.
ExternalEffect MakeReverbTemplate() {
  static const char* const names[ExternalEffect::kParams] = {
      "In Delay", "LF X",      "Low RT60",  "Mid RT60",    "HF Damping", "Eq1 Freq",
      "Eq1 Level", "Eq2 Freq", "Eq2 Level", "Dry/Wet Mix", "Level"};
  ExternalEffect e;
  for (int k = 0; k < ExternalEffect::kParams; ++k) {
    const ExternalParamRange& r = kExternalReverbRanges[k];
    e.params[k] = {names[k], r.initial, r.min, r.max, r.initial};
  }
  return e;
}

ExternalEffect MakeEqualizerTemplate() {
  ExternalEffect e;
  const ExternalParamRange& gain = kExternalEqualizerRanges[0];
  e.params[0] = {"Gain", gain.initial, gain.min, gain.max, gain.initial};
  for (int b = 0; b < kBands; ++b) {
    const ExternalParamRange& r = kExternalEqualizerRanges[1 + b];
    e.params[1 + b] = {EQ_portNames[b], r.initial, r.min, r.max, r.initial};
  }
  return e;
}

const ExternalEffect kReverbTemplate = MakeReverbTemplate();
const ExternalEffect kEqualizerTemplate = MakeEqualizerTemplate();

fluid_ladspa_fx_t* HostOf(fluid_synth_t* synth) { return synth ? fluid_synth_get_ladspa_fx(synth) : nullptr; }

// Adds one member and links its four audio ports in place on the main output. True only if
// adding, every port check and every link succeeded.
bool AddMember(fluid_ladspa_fx_t* host, const ChainMember& m, const std::string& baseDirectory) {
  std::string library = baseDirectory + m.library;
  if (fluid_ladspa_add_effect(host, m.effectName, library.c_str(), m.label) != FLUID_OK) return false;
  const char* nodes[4] = {"Main:L", "Main:R", "Main:L", "Main:R"};
  for (const char* port : m.ports) {
    if (!fluid_ladspa_effect_port_exists(host, m.effectName, port)) return false;
  }
  for (int p = 0; p < 4; ++p) {
    if (fluid_ladspa_effect_link(host, m.effectName, m.ports[p], nodes[p]) != FLUID_OK) return false;
  }
  return true;
}

}  // namespace

void SFOutput::BuildEffectChain(int soundfont, const std::string& baseDirectory, bool fx) {
  fluid_ladspa_fx_t* host = HostOf(synths[soundfont]);
  ExternalEffect& eq = equalizerFx[soundfont];
  ExternalEffect& reverb = reverbFx[soundfont];
  LimiterState& limiter = limiterFx[soundfont];

  eq = kEqualizerTemplate;
  bool eqSetUp = host && AddMember(host, kEqualizer, baseDirectory);
  if (!eqSetUp) printf("error: could not set up ladspa equalizer for soundfont %d\n", soundfont);

  reverb = kReverbTemplate;
  bool reverbSetUp = host && AddMember(host, kReverb, baseDirectory);
  if (!reverbSetUp) printf("error: could not set up ladspa reverb for soundfont %d\n", soundfont);

  if (soundfont == 0 && fx && host) AddVstBridge(host, baseDirectory);

  limiter = LimiterState{};
  bool limiterSetUp = host && AddMember(host, kLimiter, baseDirectory);
  if (!limiterSetUp) printf("error: could not set up ladspa limiter for soundfont %d\n", soundfont);

  char checkError[256] = "";
  if (host && fluid_ladspa_activate(host) == FLUID_OK &&
      fluid_ladspa_check(host, checkError, sizeof checkError) == FLUID_OK) {
    if (eqSetUp) {
      int band = 0;
      while (band < kBands && fluid_ladspa_effect_set_control(host, kEqualizer.effectName, EQ_portNames[band],
                                                              static_cast<float>(EqProgramGain(eq.program, band))) == FLUID_OK)
        ++band;
      // Bypassed to match its flag: the equalizer starts switched off.
      if (band == kBands && fluid_ladspa_effect_set_control(host, kEqualizer.effectName, "Bypass", 1.0f) == FLUID_OK) {
        eq.available = true;
        eq.active = false;
        printf("sf %d ladspa equalizer activated with success\n", soundfont);
      }
    }
    if (reverbSetUp) {
      int k = 0;
      while (k < ExternalEffect::kParams &&
             fluid_ladspa_effect_set_control(host, kReverb.effectName, reverb.params[k].name.c_str(),
                                             static_cast<float>(reverb.params[k].defaultValue)) == FLUID_OK)
        ++k;
      if (k == ExternalEffect::kParams &&
          fluid_ladspa_effect_set_control(host, kReverb.effectName, "Bypass", 0.0f) == FLUID_OK) {
        reverb.available = true;
        reverb.active = true;
        printf("sf %d ladspa reverb activated with success\n", soundfont);
      }
    }
    if (limiterSetUp) {
      limiter.available = true;
      limiter.active = true;
      printf("sf %d ladspa limiter activated with success\n", soundfont);
    }
  } else if (host && (eqSetUp || reverbSetUp || limiterSetUp)) {
    // Members were set up but the host refused them, e.g. a bridge added but not linked.
    fluid_ladspa_check(host, checkError, sizeof checkError);
    printf("error: ladspa effects of sf %d could not be activated: %s\n", soundfont, checkError);
  }

  if (!eq.available) printf("error: sf %d ladspa equalizer failure\n", soundfont);
  if (!reverb.available) printf("error: sf %d ladspa reverb failure\n", soundfont);
  if (!limiter.available) printf("error: sf %d ladspa limiter failure\n", soundfont);
  if (!(limiter.available && limiter.active)) {
    if (host) fluid_ladspa_deactivate(host);
    // Nothing of this chain runs any more; the editor must not offer its effects.
    eq.available = eq.active = false;
    reverb.available = reverb.active = false;
    printf("error: turned off sf %d effects because of limiter failure\n", soundfont);
  }
  AudioDriverData& data = audioDriverData[soundfont];
  data.limiterEnvelope = 1.0f;
  data.limiterReleasePerFrame = static_cast<float>(std::exp(-1.0 / (kFullScaleReleaseSeconds * kSampleRate)));
  data.limitToFullScale.store(limiter.active, std::memory_order_release);
}

void SFOutput::AddVstBridge(fluid_ladspa_fx_t* host, const std::string& baseDirectory) {
  FxSettings fxSettings;
  int errorLine = 0;
  std::string settingsString;
  switch (ReadFxSettingsFile(kFxFile, fxSettings, errorLine)) {
    case FxReadResult::NotOpened:
      printf("error: fx settings file fx.dat could not be openend\n");
      break;
    case FxReadResult::ParseError:
      printf("error: fx settings file fx.dat parse error line %d\n", errorLine);
      break;
    case FxReadResult::Ok:
      settingsString = FxSettingsString(fxSettings);
      break;
  }
  printf("fxSettings = >%s<\n", settingsString.c_str());
  if (settingsString.empty()) return;
  // Outrigger reads the variable once, when fluidsynth loads it.
  setenv(kFxEnvironmentVariable, settingsString.c_str(), 1);
  if (AddMember(host, kBridge, baseDirectory)) printf("loaded Outrigger with success\n");
}

int SFOutput::TrackSoundfont(int track) const {
  if (track < 0 || track >= kTracks) {
    printf("error: track %d out of range\n", track);
    return -1;
  }
  int soundfont = trackInstruments[track].soundfont;
  return soundfont >= 0 && soundfont < kSoundfontSlots ? soundfont : -1;
}

ExternalEffect* SFOutput::TrackEffect(ExternalEffect* effects, int track) {
  int soundfont = TrackSoundfont(track);
  return soundfont < 0 ? nullptr : &effects[soundfont];
}

const ExternalEffect* SFOutput::TrackEffect(const ExternalEffect* effects, int track) const {
  int soundfont = TrackSoundfont(track);
  return soundfont < 0 ? nullptr : &effects[soundfont];
}

void SFOutput::SetEffectActive(ExternalEffect* effects, const char* effectName, int track, bool on) {
  ExternalEffect* e = TrackEffect(effects, track);
  if (!e) return;
  fluid_ladspa_fx_t* host = HostOf(synths[trackInstruments[track].soundfont]);
  if (on && !e->available) return;
  e->active = on;
  if (e->available && host) fluid_ladspa_effect_set_control(host, effectName, "Bypass", on ? 0.0f : 1.0f);
}

void SFOutput::SetEffectParams(ExternalEffect* effects, const char* effectName, int track, const double* values) {
  ExternalEffect* e = TrackEffect(effects, track);
  if (!e || !values) return;
  for (int k = 0; k < ExternalEffect::kParams; ++k) e->params[k].value = values[k];
  fluid_ladspa_fx_t* host = HostOf(synths[trackInstruments[track].soundfont]);
  if (!e->available || !host) return;
  for (const EffectParam& p : e->params)
    fluid_ladspa_effect_set_control(host, effectName, p.name.c_str(), static_cast<float>(p.value));
}

void SFOutput::SetEffectSingleParam(ExternalEffect* effects, const char* effectName, int track, int index,
                                    double value) {
  ExternalEffect* e = TrackEffect(effects, track);
  if (!e) return;
  if (index < 0 || index >= ExternalEffect::kParams) {
    printf("error: effect parameter %d out of range\n", index);
    return;
  }
  e->params[index].value = value;
  fluid_ladspa_fx_t* host = HostOf(synths[trackInstruments[track].soundfont]);
  if (e->available && host)
    fluid_ladspa_effect_set_control(host, effectName, e->params[index].name.c_str(), static_cast<float>(value));
}

bool SFOutput::GetExternalReverbAvailable(int track) const {
  const ExternalEffect* e = TrackEffect(reverbFx, track);
  return e && e->available;
}
bool SFOutput::GetExternalReverbActive(int track) const {
  const ExternalEffect* e = TrackEffect(reverbFx, track);
  return e && e->active;
}
void SFOutput::SetExternalReverbActive(int track, bool on) { SetEffectActive(reverbFx, kReverb.effectName, track, on); }
void SFOutput::SetExternalReverbParams(int track, const double values[ExternalEffect::kParams]) {
  SetEffectParams(reverbFx, kReverb.effectName, track, values);
}
void SFOutput::SetExternalReverbSingleParam(int track, int index, double value) {
  SetEffectSingleParam(reverbFx, kReverb.effectName, track, index, value);
}
void SFOutput::GetExternalReverbParams(int track, double values[ExternalEffect::kParams]) const {
  const ExternalEffect* e = TrackEffect(reverbFx, track);
  if (!e || !values) return;
  for (int k = 0; k < ExternalEffect::kParams; ++k) values[k] = e->params[k].value;
}

bool SFOutput::GetExternalEqualizerAvailable(int track) const {
  const ExternalEffect* e = TrackEffect(equalizerFx, track);
  return e && e->available;
}
bool SFOutput::GetExternalEqualizerActive(int track) const {
  const ExternalEffect* e = TrackEffect(equalizerFx, track);
  return e && e->active;
}
void SFOutput::SetExternalEqualizerActive(int track, bool on) {
  SetEffectActive(equalizerFx, kEqualizer.effectName, track, on);
}
void SFOutput::SetExternalEqualizerParams(int track, const double values[ExternalEffect::kParams]) {
  SetEffectParams(equalizerFx, kEqualizer.effectName, track, values);
}
void SFOutput::SetExternalEqualizerSingleParam(int track, int index, double value) {
  SetEffectSingleParam(equalizerFx, kEqualizer.effectName, track, index, value);
}
void SFOutput::GetExternalEqualizerParams(int track, double values[ExternalEffect::kParams]) const {
  const ExternalEffect* e = TrackEffect(equalizerFx, track);
  if (!e || !values) return;
  for (int k = 0; k < ExternalEffect::kParams; ++k) values[k] = e->params[k].value;
}

LimiterState SFOutput::GetLimiterState(int soundfont) const {
  if (soundfont < 0 || soundfont >= kSoundfontSlots) return {};
  return limiterFx[soundfont];
}
