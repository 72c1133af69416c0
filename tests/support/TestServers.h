// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <functional>
#include <string>

namespace zs::test {

// Takes over DISPLAY, JACK_DEFAULT_SERVER and ALSA_CONFIG_PATH from the running test-server
// fixture. Returns false (and the test should fail) when the fixture is not running.
bool UseTestServers();

// Path of a file or folder in the build tree, e.g. BuildPath("share/plugins/Limiter.so").
std::string BuildPath(const std::string& relative);
std::string SourcePath(const std::string& relative);

// A fresh empty directory under the build tree's temporary folder.
std::string MakeTempDir(const std::string& name);

// A whole file's bytes ("" when it cannot be read), and a file written with exactly these.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
// Runs f with standard output captured and returns what it printed.
std::string Captured(const std::function<void()>& f);
// The standard output of a shell command.
std::string Shell(const std::string& command);

}  // namespace zs::test
