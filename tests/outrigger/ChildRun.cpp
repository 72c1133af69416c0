// SPDX-License-Identifier: LGPL-2.1-or-later
#include "tests/outrigger/ChildRun.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tests/support/TestServers.h"

namespace zs::test {

ChildRun RunInChild(const std::string& dir, const char* settings, const std::function<int()>& body,
                    const char* vstMode) {
  ChildRun result;
  std::remove((dir + "/TestVst.log").c_str());
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) return result;
  if (pid == 0) {
    int code = 120;
    if (chdir(dir.c_str()) == 0 && std::freopen("out.txt", "w", stdout) != nullptr) {
      if (settings) setenv("ZEMBROVANE_SEQUENCER_FX_LINUX_VST", settings, 1);
      else unsetenv("ZEMBROVANE_SEQUENCER_FX_LINUX_VST");
      if (vstMode) setenv("TEST_VST_MODE", vstMode, 1);
      else unsetenv("TEST_VST_MODE");
      code = body();
    }
    std::fflush(stdout);
    _exit(code);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) == pid) {
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  result.out = ReadFile(dir + "/out.txt");
  result.vstLog = SplitLines(ReadFile(dir + "/TestVst.log"));
  return result;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool WriteFloats(const std::string& path, const std::vector<float>& values) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(values.data()), static_cast<std::streamsize>(values.size() * sizeof(float)));
  return static_cast<bool>(out);
}

std::vector<float> ReadFloats(const std::string& path) {
  std::string bytes = ReadFile(path);
  std::vector<float> values(bytes.size() / sizeof(float));
  if (!values.empty()) std::memcpy(values.data(), bytes.data(), values.size() * sizeof(float));
  return values;
}

}  // namespace zs::test
