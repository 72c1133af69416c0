// SPDX-License-Identifier: LGPL-2.1-or-later
#include "tests/support/LadspaHost.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace zs::test {

float LadspaDefault(const LADSPA_PortRangeHint& hint, unsigned long sampleRate) {
  LADSPA_PortRangeHintDescriptor d = hint.HintDescriptor;
  double lo = hint.LowerBound, hi = hint.UpperBound;
  if (LADSPA_IS_HINT_SAMPLE_RATE(d)) {
    lo *= double(sampleRate);
    hi *= double(sampleRate);
  }
  bool logarithmic = LADSPA_IS_HINT_LOGARITHMIC(d) && lo > 0 && hi > 0;
  auto between = [&](double w) {
    return logarithmic ? std::exp(std::log(lo) * (1 - w) + std::log(hi) * w) : lo * (1 - w) + hi * w;
  };
  double v = 0.0;
  switch (d & LADSPA_HINT_DEFAULT_MASK) {
    case LADSPA_HINT_DEFAULT_MINIMUM: v = lo; break;
    case LADSPA_HINT_DEFAULT_LOW: v = between(0.25); break;
    case LADSPA_HINT_DEFAULT_MIDDLE: v = between(0.5); break;
    case LADSPA_HINT_DEFAULT_HIGH: v = between(0.75); break;
    case LADSPA_HINT_DEFAULT_MAXIMUM: v = hi; break;
    case LADSPA_HINT_DEFAULT_1: v = 1; break;
    case LADSPA_HINT_DEFAULT_100: v = 100; break;
    case LADSPA_HINT_DEFAULT_440: v = 440; break;
    default: v = 0; break;
  }
  if (LADSPA_IS_HINT_INTEGER(d)) v = std::round(v);
  return float(v);
}

LadspaHost::~LadspaHost() {
  if (handle) {
    Deactivate();
    if (descriptor->cleanup) descriptor->cleanup(handle);
  }
  if (library) dlclose(library);
}

bool LadspaHost::Load(const std::string& libraryPath, const std::string& label, unsigned long sampleRate) {
  if (library) {
    error = "error: host already loaded";
    return false;
  }
  library = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* why = dlerror();
    error = "error: cannot load " + libraryPath + ": " + (why ? why : "unknown");
    return false;
  }
  auto function = reinterpret_cast<LADSPA_Descriptor_Function>(dlsym(library, "ladspa_descriptor"));
  if (!function) {
    error = "error: no ladspa_descriptor in " + libraryPath;
    return false;
  }
  for (unsigned long i = 0;; ++i) {
    const LADSPA_Descriptor* d = function(i);
    if (!d) break;
    if (d->Label && label == d->Label) {
      descriptor = d;
      break;
    }
  }
  if (!descriptor) {
    error = "error: no plug-in labelled " + label + " in " + libraryPath;
    return false;
  }
  handle = descriptor->instantiate(descriptor, sampleRate);
  if (!handle) {
    error = "error: " + label + " refused sample rate " + std::to_string(sampleRate);
    return false;
  }
  rate = sampleRate;
  controls.assign(descriptor->PortCount, 0.0f);
  for (unsigned long p = 0; p < descriptor->PortCount; ++p) {
    LADSPA_PortDescriptor pd = descriptor->PortDescriptors[p];
    if (LADSPA_IS_PORT_CONTROL(pd)) {
      if (LADSPA_IS_PORT_INPUT(pd)) controls[p] = LadspaDefault(descriptor->PortRangeHints[p], rate);
      descriptor->connect_port(handle, p, &controls[p]);
    } else if (LADSPA_IS_PORT_AUDIO(pd)) {
      (LADSPA_IS_PORT_INPUT(pd) ? audioIn : audioOut).push_back(int(p));
    }
  }
  return true;
}

int LadspaHost::PortIndex(const std::string& name) const {
  if (!descriptor) return -1;
  for (unsigned long p = 0; p < descriptor->PortCount; ++p)
    if (name == descriptor->PortNames[p]) return int(p);
  return -1;
}

bool LadspaHost::SetControl(const std::string& name, float value) {
  int p = PortIndex(name);
  if (p < 0 || !LADSPA_IS_PORT_CONTROL(descriptor->PortDescriptors[p])) return false;
  controls[size_t(p)] = value;
  return true;
}

float LadspaHost::GetControl(const std::string& name) const {
  int p = PortIndex(name);
  if (p < 0 || !LADSPA_IS_PORT_CONTROL(descriptor->PortDescriptors[p]))
    return std::numeric_limits<float>::quiet_NaN();
  return controls[size_t(p)];
}

void LadspaHost::Activate() {
  if (!handle) return;
  Deactivate();
  if (descriptor->activate) descriptor->activate(handle);
  active = true;
}

void LadspaHost::Deactivate() {
  if (handle && active && descriptor->deactivate) descriptor->deactivate(handle);
  active = false;
}

void LadspaHost::RunStereo(std::vector<float>& left, std::vector<float>& right, size_t block,
                           const std::function<void(size_t)>& beforeBlock) {
  RunStereo(left, right, left, right, block, beforeBlock);
}

void LadspaHost::RunStereo(const std::vector<float>& inLeft, const std::vector<float>& inRight,
                           std::vector<float>& outLeft, std::vector<float>& outRight, size_t block,
                           const std::function<void(size_t)>& beforeBlock) {
  if (!handle || audioIn.size() < 2 || audioOut.size() < 2 || inLeft.size() != inRight.size()) return;
  if (!active) Activate();
  if (&outLeft != &inLeft) outLeft.assign(inLeft.size(), 0.0f);
  if (&outRight != &inRight) outRight.assign(inRight.size(), 0.0f);
  block = std::max<size_t>(block, 1);
  for (size_t at = 0; at < inLeft.size(); at += block) {
    if (beforeBlock) beforeBlock(at);
    // LADSPA connects audio inputs through non-const pointers although plug-ins only read them.
    descriptor->connect_port(handle, audioIn[0], const_cast<float*>(inLeft.data() + at));
    descriptor->connect_port(handle, audioIn[1], const_cast<float*>(inRight.data() + at));
    descriptor->connect_port(handle, audioOut[0], outLeft.data() + at);
    descriptor->connect_port(handle, audioOut[1], outRight.data() + at);
    descriptor->run(handle, std::min(block, inLeft.size() - at));
  }
}

bool LadspaHost::ConnectAudio(const std::string& name, float* buffer) {
  int p = PortIndex(name);
  if (p < 0 || !LADSPA_IS_PORT_AUDIO(descriptor->PortDescriptors[p])) return false;
  descriptor->connect_port(handle, static_cast<unsigned long>(p), buffer);
  return true;
}

void LadspaHost::Run(unsigned long frames) {
  if (!handle) return;
  if (!active) Activate();
  descriptor->run(handle, frames);
}

}  // namespace zs::test
