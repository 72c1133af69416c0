// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <string>
#include <sys/types.h>
#include <vector>

namespace zs::test {

// Records this process's ALSA output with jack_capture: only the two JACK ports the ALSA jack
// plug-in opened for this process, so that sound of other tests on the same server is not
// heard. Needs the test servers (UseTestServers) and a running ALSA stream.
class JackRecorder {
 public:
  ~JackRecorder();
  // Starts a recording of the given length into a 32-bit float WAV file and waits (up to
  // 10 s) until jack_capture listens. False when the ports are missing or it does not come up.
  bool Start(const std::string& wavPath, int seconds);
  // Waits for the recording to end; false when jack_capture failed.
  bool Finish();

 private:
  pid_t pid = -1;
};

// The samples of a 32-bit float WAV file, channels interleaved; empty when unreadable.
std::vector<float> ReadFloatWav(const std::string& path);

}  // namespace zs::test
