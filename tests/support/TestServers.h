// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <functional>
#include <string>

namespace zs::test {

// DISPLAY, JACK_DEFAULT_SERVER and ALSA_CONFIG_PATH of the running fixture; false without it.
bool UseTestServers();

std::string BuildPath(const std::string& relative);
std::string SourcePath(const std::string& relative);

std::string MakeTempDir(const std::string& name);

// "" when the file cannot be read.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
// What f printed to standard output.
std::string Captured(const std::function<void()>& f);
std::string Shell(const std::string& command);

}  // namespace zs::test
