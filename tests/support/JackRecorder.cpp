// SPDX-License-Identifier: LGPL-2.1-or-later
#include "tests/support/JackRecorder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <sstream>

#include "tests/support/TestServers.h"

namespace zs::test {
namespace {

std::vector<std::string> JackLsp(const std::string& arguments) {
  std::istringstream out(Shell("jack_lsp " + arguments + " 2>/dev/null"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(out, line);) lines.push_back(line);
  return lines;
}

// Another test's recording makes ours "jack_capture-01" and so on: any joined to our port is ours.
bool CaptureListens(const std::string& port) {
  return WaitUntil(
      [&] {
        for (const std::string& line : JackLsp("-c '" + port + "'")) {
          const size_t name = line.find_first_not_of(" \t");
          if (name > 0 && name != std::string::npos && line.compare(name, 12, "jack_capture") == 0) return true;
        }
        return false;
      },
      std::chrono::seconds(10), std::chrono::milliseconds(100));
}

}  // namespace

std::vector<std::string> AlsaPortsOf(pid_t pid) {
  const std::string pidPart = "." + std::to_string(pid) + ".";
  std::vector<std::string> ports = JackLsp("");
  std::erase_if(ports, [&](const std::string& port) {
    return port.find(pidPart) == std::string::npos || port.find(":out_") == std::string::npos;
  });
  return ports;
}

bool JackRecorder::Start(const std::string& wavPath, int seconds, pid_t pid) {
  const std::vector<std::string> ports = AlsaPortsOf(pid);
  if (ports.size() != 2 || capture) return false;
  capture = std::make_unique<ChildProcess>(std::vector<std::string>{
      "jack_capture", "--daemon", "-d", std::to_string(seconds), "--port", ports[0], "--port", ports[1], "-f", "wav",
      wavPath});
  return CaptureListens(ports[1]);
}

bool JackRecorder::Finish() {
  if (!capture) return false;
  const bool ok = capture->Wait() == 0;
  capture.reset();
  return ok;
}

std::vector<float> ReadFloatWav(const std::string& path) {
  const std::string bytes = ReadFile(path);
  std::vector<float> samples;
  if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0) return samples;
  for (size_t pos = 12; pos + 8 <= bytes.size();) {
    uint32_t size;
    memcpy(&size, bytes.data() + pos + 4, 4);
    if (bytes.compare(pos, 4, "data") == 0) {
      size = std::min<uint32_t>(size, bytes.size() - pos - 8);
      samples.resize(size / 4);
      memcpy(samples.data(), bytes.data() + pos + 8, samples.size() * 4);
      break;
    }
    pos += 8 + size + (size & 1);
  }
  return samples;
}

}  // namespace zs::test
