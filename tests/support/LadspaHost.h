// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
// A small LADSPA host for tests: loads one plug-in from a library path, instantiates it at a
// sample rate and runs stereo (or any) audio through it by port names.
//
//   zs::test::LadspaHost fx;
//   if (!fx.Load(BuildPath("share/plugins/Limiter.so"), "zembrovane_hard_limiter_stereo", 44100))
//     FAIL() << fx.Error();
//   fx.SetControl("Ceiling", -6.0f);       // before or after Activate
//   fx.Activate();                          // clears the plug-in's state
//   fx.RunStereo(left, right);              // in place, in blocks of 128 frames
//
// Every control input port is connected to a value owned by the host, set to the port's hinted
// default (LADSPA rules; 0 when there is no default hint) until SetControl changes it. Control
// outputs are connected too and read with GetControl. Not thread-safe; one instance per test.

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

  // dlopens the library (a path), finds the plug-in by label and instantiates it. On failure
  // returns false and Error() says why. May be called once per host object.
  bool Load(const std::string& libraryPath, const std::string& label, unsigned long sampleRate);
  const std::string& Error() const { return error; }
  const LADSPA_Descriptor* Descriptor() const { return descriptor; }

  // Index of the port with this exact name, or -1.
  int PortIndex(const std::string& name) const;

  // Control ports by name; false (or NaN from GetControl) when there is no such control port.
  bool SetControl(const std::string& name, float value);
  float GetControl(const std::string& name) const;

  void Activate();    // calls activate (deactivate first when already active)
  void Deactivate();

  // Runs the first two audio inputs and first two audio outputs (in port order) on the given
  // buffers, in blocks of `block` frames. In place: the outputs overwrite the inputs, the way
  // fluidsynth's chain links them. Activates first if needed. The buffers must be equally long.
  // beforeBlock(frame), when given, may change controls between blocks.
  void RunStereo(std::vector<float>& left, std::vector<float>& right, size_t block = 128,
                 const std::function<void(size_t)>& beforeBlock = {});
  void RunStereo(const std::vector<float>& inLeft, const std::vector<float>& inRight,
                 std::vector<float>& outLeft, std::vector<float>& outRight, size_t block = 128,
                 const std::function<void(size_t)>& beforeBlock = {});

  bool ConnectAudio(const std::string& name, float* buffer);
  void Run(unsigned long frames);

 private:
  void* library = nullptr;
  const LADSPA_Descriptor* descriptor = nullptr;
  LADSPA_Handle handle = nullptr;
  unsigned long rate = 0;
  bool active = false;
  std::vector<float> controls;    // one value per port; used by control ports only
  std::vector<int> audioIn, audioOut;
  std::string error;
};

// Value of a port's default hint at a sample rate (LADSPA rules), 0 when it has none.
float LadspaDefault(const LADSPA_PortRangeHint& hint, unsigned long sampleRate);

}  // namespace zs::test
