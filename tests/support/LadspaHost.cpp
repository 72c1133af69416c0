// SPDX-License-Identifier: LGPL-2.1-or-later
#include "tests/support/LadspaHost.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace zs::test {
namespace {

float DefaultValue(const LADSPA_PortRangeHint& hint, unsigned long sampleRate) {
  LADSPA_PortRangeHintDescriptor d = hint.HintDescriptor;
  const double scale = LADSPA_IS_HINT_SAMPLE_RATE(d) ? double(sampleRate) : 1.0;
  const double lo = hint.LowerBound * scale, hi = hint.UpperBound * scale;
  const bool logarithmic = LADSPA_IS_HINT_LOGARITHMIC(d) && lo > 0 && hi > 0;
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
    default: break;
  }
  return float(LADSPA_IS_HINT_INTEGER(d) ? std::round(v) : v);
}

}  // namespace

LadspaHost::~LadspaHost() {
  if (handle) {
    if (active && descriptor->deactivate) descriptor->deactivate(handle);
    if (descriptor->cleanup) descriptor->cleanup(handle);
  }
  if (library) dlclose(library);
}

bool LadspaHost::Load(const std::string& libraryPath, const std::string& label, unsigned long sampleRate) {
  if (library || !(library = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL))) {
    const char* why = library ? "host already loaded" : dlerror();
    error = "error: cannot load " + libraryPath + ": " + (why ? why : "unknown");
    return false;
  }
  auto function = reinterpret_cast<LADSPA_Descriptor_Function>(dlsym(library, "ladspa_descriptor"));
  for (unsigned long i = 0; function && !descriptor && function(i); ++i)
    if (function(i)->Label && label == function(i)->Label) descriptor = function(i);
  if (!descriptor || !(handle = descriptor->instantiate(descriptor, sampleRate))) {
    error = "error: no plug-in " + label + " at " + std::to_string(sampleRate) + " Hz in " + libraryPath;
    return false;
  }
  controls.assign(descriptor->PortCount, 0.0f);
  for (unsigned long p = 0; p < descriptor->PortCount; ++p) {
    LADSPA_PortDescriptor pd = descriptor->PortDescriptors[p];
    if (LADSPA_IS_PORT_CONTROL(pd)) {
      if (LADSPA_IS_PORT_INPUT(pd)) controls[p] = DefaultValue(descriptor->PortRangeHints[p], sampleRate);
      descriptor->connect_port(handle, p, &controls[p]);
    } else if (LADSPA_IS_PORT_AUDIO(pd)) {
      (LADSPA_IS_PORT_INPUT(pd) ? audioIn : audioOut).push_back(int(p));
    }
  }
  return true;
}

int LadspaHost::PortIndex(const std::string& name) const {
  for (unsigned long p = 0; descriptor && p < descriptor->PortCount; ++p)
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
  if (active && descriptor->deactivate) descriptor->deactivate(handle);
  if (descriptor->activate) descriptor->activate(handle);
  active = true;
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

}  // namespace zs::test
