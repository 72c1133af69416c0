// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
// Runs stereo audio through one LADSPA plug-in whose control inputs start at their hinted defaults.

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

  bool Load(const std::string& libraryPath, const std::string& label, unsigned long sampleRate);
  const std::string& Error() const { return error; }

  // False, or NaN, when there is no such control port.
  bool SetControl(const std::string& name, float value);
  float GetControl(const std::string& name) const;

  void Activate();

  // Runs the first two audio ports in place, as fluidsynth's chain links them, in blocks,
  // activating first if needed. beforeBlock(frame) may change controls between blocks.
  void RunStereo(std::vector<float>& left, std::vector<float>& right, size_t block = 128,
                 const std::function<void(size_t)>& beforeBlock = {});

 private:
  int PortIndex(const std::string& name) const;  // -1 when there is none
  int ControlIndex(const std::string& name) const;

  void* library = nullptr;
  const LADSPA_Descriptor* descriptor = nullptr;
  LADSPA_Handle handle = nullptr;
  bool active = false;
  std::vector<float> controls;  // one value per port; used by control ports only
  std::vector<int> audioIn, audioOut;
  std::string error;
};

}  // namespace zs::test
