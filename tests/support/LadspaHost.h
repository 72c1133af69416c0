// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
// A small LADSPA host for tests: loads one plug-in from a library path, instantiates it at a
// sample rate and runs stereo audio through it. Controls are set and read by port name, before
// or after Activate; every control input starts at its port's hinted default (LADSPA rules; 0
// without a default hint).

#include <ladspa.h>

#include <functional>
#include <string>
#include <vector>

namespace zs::test {

class LadspaHost {
 public:
  LadspaHost() = default;
  ~LadspaHost();
  LadspaHost(const LadspaHost&) = delete;
  LadspaHost& operator=(const LadspaHost&) = delete;

  // dlopens the library, finds the plug-in by label and instantiates it. On failure returns
  // false and Error() says why. Once per host object.
  bool Load(const std::string& libraryPath, const std::string& label, unsigned long sampleRate);
  const std::string& Error() const { return error; }
  const LADSPA_Descriptor* Descriptor() const { return descriptor; }

  // Index of the port with this exact name, or -1.
  int PortIndex(const std::string& name) const;
  // Control ports by name; false (or NaN from GetControl) when there is no such control port.
  bool SetControl(const std::string& name, float value);
  float GetControl(const std::string& name) const;

  void Activate();  // clears the plug-in's state

  // Runs the first two audio inputs and outputs (in port order) in blocks of `block` frames,
  // activating first if needed. The in-place form overwrites the inputs, the way fluidsynth's
  // chain links them. beforeBlock(frame), when given, may change controls between blocks.
  void RunStereo(const std::vector<float>& inLeft, const std::vector<float>& inRight,
                 std::vector<float>& outLeft, std::vector<float>& outRight, size_t block = 128,
                 const std::function<void(size_t)>& beforeBlock = {});
  void RunStereo(std::vector<float>& left, std::vector<float>& right, size_t block = 128,
                 const std::function<void(size_t)>& beforeBlock = {}) {
    RunStereo(left, right, left, right, block, beforeBlock);
  }

 private:
  void* library = nullptr;
  const LADSPA_Descriptor* descriptor = nullptr;
  LADSPA_Handle handle = nullptr;
  bool active = false;
  std::vector<float> controls;  // one value per port; used by control ports only
  std::vector<int> audioIn, audioOut;
  std::string error;
};

}  // namespace zs::test
