// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
// The LADSPA descriptor shared by our stereo effects: ports 0..3 are the two audio inputs and
// the two audio outputs (processed in place by fluidsynth's host), the control ports follow.
// The callbacks forward to an Effect class with a constructor taking the sample rate and
// Connect(port, data), Activate() and Run(frames); none of them may allocate except the
// constructor.
#include <ladspa.h>

#include <climits>
#include <cmath>

#include "model/Check.h"

namespace zs_ladspa {

template <class Effect, unsigned long PortCount, unsigned long MinRate = 1, unsigned long MaxRate = ULONG_MAX>
class StereoDescriptor {
 public:
  StereoDescriptor(unsigned long uniqueId, const char* label, const char* name, const char* const audioNames[4]) {
    for (unsigned long p = 0; p < 4; ++p) {
      portDescriptors[p] = LADSPA_PORT_AUDIO | (p < 2 ? LADSPA_PORT_INPUT : LADSPA_PORT_OUTPUT);
      portNames[p] = audioNames[p];
      hints[p] = {0, 0, 0};
    }
    d.UniqueID = uniqueId;
    d.Label = label;
    d.Properties = LADSPA_PROPERTY_HARD_RT_CAPABLE;
    d.Name = name;
    d.Maker = "ZembrovaneSequencer";
    d.Copyright = "ZembrovaneSequencer authors";
    d.PortCount = PortCount;
    d.PortDescriptors = portDescriptors;
    d.PortNames = portNames;
    d.PortRangeHints = hints;
    d.instantiate = Instantiate;
    d.connect_port = ConnectPort;
    d.activate = Activate;
    d.run = Run;
    d.cleanup = Cleanup;
  }
  // The LADSPA record points into this object's own arrays: it must stay where it was built.
  StereoDescriptor(const StereoDescriptor&) = delete;
  StereoDescriptor& operator=(const StereoDescriptor&) = delete;

  // A control port; `output` for values the effect reports (such as its latency).
  void Control(unsigned long port, const char* name, LADSPA_PortRangeHintDescriptor hint, float lo, float hi,
               bool output = false) {
    portDescriptors[port] = LADSPA_PORT_CONTROL | (output ? LADSPA_PORT_OUTPUT : LADSPA_PORT_INPUT);
    portNames[port] = name;
    hints[port] = {hint, lo, hi};
  }

  const LADSPA_Descriptor* Get() const { return &d; }

 private:
  // The handle: the effect and, for the checks after each block, its four audio buffers.
  struct Instance {
    explicit Instance(double rate) : effect(rate) {}
    Effect effect;
    LADSPA_Data* audio[4] = {};
  };
  // True for a buffer that is not connected, too.
  static bool AllFinite(const LADSPA_Data* samples, unsigned long frames) {
    if (samples == nullptr) return true;
    for (unsigned long i = 0; i < frames; ++i) {
      if (!std::isfinite(samples[i])) return false;
    }
    return true;
  }

  static LADSPA_Handle Instantiate(const LADSPA_Descriptor*, unsigned long rate) {
    if (rate < MinRate || rate > MaxRate) return nullptr;
    try {
      return new Instance(double(rate));  // LADSPA's cleanup callback deletes it
    } catch (...) {
      return nullptr;
    }
  }
  static void ConnectPort(LADSPA_Handle h, unsigned long port, LADSPA_Data* data) {
    Instance* instance = static_cast<Instance*>(h);
    if (port < 4) instance->audio[port] = data;
    instance->effect.Connect(port, data);
  }
  static void Activate(LADSPA_Handle h) { static_cast<Instance*>(h)->effect.Activate(); }
  static void Run(LADSPA_Handle h, unsigned long frames) {
    Instance* instance = static_cast<Instance*>(h);
#if ZS_CHECKS_ACTIVE
    // fluidsynth's host processes in place, so the input is looked at before the block.
    const bool finiteIn = AllFinite(instance->audio[0], frames) && AllFinite(instance->audio[1], frames);
#endif
    instance->effect.Run(frames);
    // A NaN or an infinity that leaves an effect spreads through the whole mix from then on.
    ZS_CHECK(!finiteIn || (AllFinite(instance->audio[2], frames) && AllFinite(instance->audio[3], frames)));
  }
  static void Cleanup(LADSPA_Handle h) { delete static_cast<Instance*>(h); }

  LADSPA_PortDescriptor portDescriptors[PortCount];
  const char* portNames[PortCount];
  LADSPA_PortRangeHint hints[PortCount];
  LADSPA_Descriptor d{};
};

}  // namespace zs_ladspa

// Every module exports exactly one descriptor.
#define ZS_LADSPA_EXPORT(descriptorObject)                                                       \
  extern "C" __attribute__((visibility("default"))) const LADSPA_Descriptor* ladspa_descriptor( \
      unsigned long index) {                                                                     \
    return index == 0 ? (descriptorObject).Get() : nullptr;                                     \
  }
