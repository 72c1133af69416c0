// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace zs::test {

// What a child process left behind: its exit code (128 + signal if it was killed), its
// standard output, and the lines the test VST logged in its working directory.
struct ChildRun {
  int exitCode = -1;
  std::string out;
  std::vector<std::string> vstLog;
};

// Runs body in a forked child whose working directory is dir and whose standard output goes
// to dir/out.txt. settings, unless null, is put into ZEMBROVANE_SEQUENCER_FX_LINUX_VST (which
// is removed otherwise), and vstMode into TEST_VST_MODE. body's return value is the exit code.
// Outrigger reads its settings once per process, so every configuration needs a fresh child.
ChildRun RunInChild(const std::string& dir, const char* settings, const std::function<int()>& body,
                    const char* vstMode = nullptr);

std::vector<std::string> SplitLines(const std::string& text);

// Floats written by the child with WriteFloats, read back by the parent.
bool WriteFloats(const std::string& path, const std::vector<float>& values);
std::vector<float> ReadFloats(const std::string& path);

}  // namespace zs::test
