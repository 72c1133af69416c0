// SPDX-License-Identifier: LGPL-2.1-or-later
#include "tests/support/LadspaHost.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace zs::test {
namespace {

// The hints our effects use; no sample-rate or integer controls among them.
float DefaultValue(const LADSPA_PortRangeHint& hint) {
  const LADSPA_PortRangeHintDescriptor d = hint.HintDescriptor & LADSPA_HINT_DEFAULT_MASK;
  if (d == LADSPA_HINT_DEFAULT_1) return 1.0f;
  const double w = d == LADSPA_HINT_DEFAULT_LOW       ? 0.25
                   : d == LADSPA_HINT_DEFAULT_MIDDLE  ? 0.5
                   : d == LADSPA_HINT_DEFAULT_MAXIMUM ? 1.0
                                                      : -1.0;
  if (w < 0) return 0.0f;
  const double lo = hint.LowerBound, hi = hint.UpperBound;
  if (LADSPA_IS_HINT_LOGARITHMIC(hint.HintDescriptor) && lo > 0 && hi > 0)
    return float(std::exp(std::log(lo) * (1 - w) + std::log(hi) * w));
  return float(lo * (1 - w) + hi * w);
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
  if (!(library = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL))) {
    error = "error: cannot load " + libraryPath + ": " + dlerror();
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
      if (LADSPA_IS_PORT_INPUT(pd)) controls[p] = DefaultValue(descriptor->PortRangeHints[p]);
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

int LadspaHost::ControlIndex(const std::string& name) const {
  const int p = PortIndex(name);
  return p >= 0 && LADSPA_IS_PORT_CONTROL(descriptor->PortDescriptors[p]) ? p : -1;
}

bool LadspaHost::SetControl(const std::string& name, float value) {
  const int p = ControlIndex(name);
  if (p >= 0) controls[size_t(p)] = value;
  return p >= 0;
}

float LadspaHost::GetControl(const std::string& name) const {
  const int p = ControlIndex(name);
  return p >= 0 ? controls[size_t(p)] : std::numeric_limits<float>::quiet_NaN();
}

void LadspaHost::Activate() {
  if (active && descriptor->deactivate) descriptor->deactivate(handle);
  if (descriptor->activate) descriptor->activate(handle);
  active = true;
}

void LadspaHost::RunStereo(std::vector<float>& left, std::vector<float>& right, size_t block,
                           const std::function<void(size_t)>& beforeBlock) {
  if (!handle || audioIn.size() < 2 || audioOut.size() < 2 || left.size() != right.size()) return;
  if (!active) Activate();
  for (size_t at = 0; at < left.size(); at += block) {
    if (beforeBlock) beforeBlock(at);
    descriptor->connect_port(handle, audioIn[0], left.data() + at);
    descriptor->connect_port(handle, audioIn[1], right.data() + at);
    descriptor->connect_port(handle, audioOut[0], left.data() + at);
    descriptor->connect_port(handle, audioOut[1], right.data() + at);
    descriptor->run(handle, std::min(block, left.size() - at));
  }
}

}  // namespace zs::test
