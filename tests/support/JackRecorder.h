// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <sys/types.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

namespace zs::test {

// The two JACK ports the ALSA jack plug-in opened for a process ("<name>.P.<pid>.<n>:out_000").
std::vector<std::string> AlsaPortsOf(pid_t pid);

// Records a process's ALSA output (this process's by default) with jack_capture: only its two
// JACK ports, so that sound of other tests on the same server is not heard. Needs the test
// servers (UseTestServers) and a running ALSA stream.
class JackRecorder {
 public:
  // Starts a recording of the given length into a 32-bit float WAV file and waits (up to
  // 10 s) until jack_capture listens. False when the ports are missing or it does not come up.
  bool Start(const std::string& wavPath, int seconds, pid_t pid = getpid());
  // Waits for the recording to end; false when jack_capture failed.
  bool Finish();

 private:
  std::unique_ptr<ChildProcess> capture;
};

// The samples of a 32-bit float WAV file, channels interleaved; empty when unreadable.
std::vector<float> ReadFloatWav(const std::string& path);

}  // namespace zs::test
