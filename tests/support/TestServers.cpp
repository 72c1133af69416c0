// SPDX-License-Identifier: LGPL-2.1-or-later
#include "tests/support/TestServers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace zs::test {

bool UseTestServers() {
  std::ifstream in(ZS_TEST_SERVERS_ENV);
  if (!in) return false;
  std::string line;
  int found = 0;
  while (std::getline(in, line)) {
    auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    setenv(line.substr(0, eq).c_str(), line.substr(eq + 1).c_str(), 1);
    ++found;
  }
  return found >= 3;
}

std::string BuildPath(const std::string& relative) { return std::string(ZS_BUILD_DIR) + "/" + relative; }
std::string SourcePath(const std::string& relative) { return std::string(ZS_SOURCE_DIR) + "/" + relative; }

std::string MakeTempDir(const std::string& name) {
  namespace fs = std::filesystem;
  fs::path dir = fs::path(ZS_BUILD_DIR) / "test-tmp" / (name + "-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir.string();
}

std::string ReadFile(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& content) { std::ofstream(path, std::ios::binary) << content; }

std::string Captured(const std::function<void()>& f) {
  fflush(stdout);
  testing::internal::CaptureStdout();
  f();
  fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

std::string Shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
  pclose(pipe);
  return out;
}

}  // namespace zs::test
