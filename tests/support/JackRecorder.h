// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <sys/types.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

namespace zs::test {

// The JACK ports the ALSA jack plug-in opened for a process ("<name>.P.<pid>.<n>:out_000").
std::vector<std::string> AlsaPortsOf(pid_t pid);

// Records a process's ALSA output with jack_capture, only its own two ports so that other tests'
// sound is not heard. Needs the test servers and a running ALSA stream.
class JackRecorder {
 public:
  // A 32-bit float WAV file; false when the ports are missing or jack_capture does not listen.
  bool Start(const std::string& wavPath, int seconds, pid_t pid = getpid());
  bool Finish();

 private:
  std::unique_ptr<ChildProcess> capture;
};

// Interleaved samples; empty when unreadable.
std::vector<float> ReadFloatWav(const std::string& path);

}  // namespace zs::test
