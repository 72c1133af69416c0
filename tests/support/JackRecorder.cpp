// SPDX-License-Identifier: LGPL-2.1-or-later
#include "tests/support/JackRecorder.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

namespace zs::test {
namespace {

std::vector<std::string> JackLsp(const std::string& arguments) {
  std::vector<std::string> lines;
  FILE* lsp = popen(("jack_lsp " + arguments).c_str(), "r");
  if (!lsp) return lines;
  char line[512];
  while (fgets(line, sizeof(line), lsp)) {
    std::string text(line);
    while (!text.empty() && isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    lines.push_back(text);
  }
  pclose(lsp);
  return lines;
}

// The jack PCM names its client after the program and its pid: "<name>.P.<pid>.<n>:out_000".
std::vector<std::string> OwnAlsaPorts() {
  std::vector<std::string> ports;
  char pidPart[32];
  snprintf(pidPart, sizeof pidPart, ".%d.", static_cast<int>(getpid()));
  for (const std::string& port : JackLsp("")) {
    if (port.find(pidPart) != std::string::npos && port.find(":out_") != std::string::npos) ports.push_back(port);
  }
  return ports;
}

// JACK renames a second jack_capture on the same server "jack_capture-01" and so on, as when
// another test records at the same time; any of them joined to our own port is ours.
bool CaptureListens(const std::string& port) {
  for (int i = 0; i < 100; ++i) {
    for (const std::string& line : JackLsp("-c '" + port + "'")) {
      size_t name = line.find_first_not_of(" \t");
      if (name > 0 && name != std::string::npos && line.compare(name, 12, "jack_capture") == 0) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

}  // namespace

JackRecorder::~JackRecorder() { Finish(); }

bool JackRecorder::Start(const std::string& wavPath, int seconds) {
  std::vector<std::string> ports = OwnAlsaPorts();
  if (ports.size() != 2 || pid > 0) return false;
  std::string duration = std::to_string(seconds);
  pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    execlp("jack_capture", "jack_capture", "--daemon", "-d", duration.c_str(), "--port", ports[0].c_str(),
           "--port", ports[1].c_str(), "-f", "wav", wavPath.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return CaptureListens(ports[1]);
}

bool JackRecorder::Finish() {
  if (pid <= 0) return false;
  int status = 0;
  bool ok = waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  pid = -1;
  return ok;
}

std::vector<float> ReadFloatWav(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
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
