// SPDX-License-Identifier: LGPL-2.1-or-later
#include "sound/FxSettings.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// Reads one decimal integer as "%d" does (leading whitespace skipped, trailing text ignored),
// but refuses values outside int instead of leaving them undefined.
bool ScanInt(const char*& p, int& value) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(p, &end, 10);
  if (end == p || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  p = end;
  value = static_cast<int>(v);
  return true;
}

bool ScanFloat(const char*& p, float& value) {
  char* end = nullptr;
  float v = std::strtof(p, &end);
  if (end == p) return false;
  p = end;
  value = v;
  return true;
}

enum class State { Name, Preset, Count, Params };

}  // namespace

bool ParseFxSettings(const std::string& text, FxSettings& settings, int& errorLine) {
  settings = FxSettings{};
  errorLine = 0;
  std::istringstream in(text);
  State state = State::Name;
  int line = 0;
  for (std::string s; std::getline(in, s);) {
    const char* p = s.c_str();
    bool ok = false;
    switch (state) {
      case State::Name: {
        if (s.size() > kFxMaxNameLine) break;
        while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
        const char* start = p;
        while (*p && !std::isspace(static_cast<unsigned char>(*p))) ++p;
        settings.name.assign(start, p);
        ok = !settings.name.empty() && settings.name.find(':') == std::string::npos;
        state = State::Preset;
        break;
      }
      case State::Preset:
        ok = ScanInt(p, settings.preset) && settings.preset >= -1;
        state = State::Count;
        break;
      case State::Count:
        ok = ScanInt(p, settings.count) && settings.count >= 0 && settings.count <= kFxMaxParams;
        state = State::Params;
        break;
      case State::Params: {
        if (static_cast<int>(settings.params.size()) >= settings.count) return true;
        FxParam param;
        ok = ScanInt(p, param.index) && ScanFloat(p, param.value) && std::isfinite(param.value);
        if (ok) settings.params.push_back(param);
        break;
      }
    }
    if (!ok) {
      errorLine = line;
      return false;
    }
    ++line;
  }
  // The plug-in would otherwise be told of parameters the string does not carry.
  if (state == State::Params && static_cast<int>(settings.params.size()) < settings.count) {
    errorLine = line;
    return false;
  }
  return true;
}

FxReadResult ReadFxSettingsFile(const std::string& path, FxSettings& settings, int& errorLine) {
  settings = FxSettings{};
  errorLine = 0;
  std::ifstream file(path, std::ios::binary);
  if (!file) return FxReadResult::NotOpened;
  std::ostringstream text;
  text << file.rdbuf();
  return ParseFxSettings(text.str(), settings, errorLine) ? FxReadResult::Ok : FxReadResult::ParseError;
}

std::string FxSettingsString(const FxSettings& settings) {
  std::string s = settings.name + ":" + std::to_string(settings.preset) + ":" + std::to_string(settings.count) + ":";
  char value[32];
  for (const FxParam& p : settings.params) {
    std::snprintf(value, sizeof value, "%g", static_cast<double>(p.value));
    s += std::to_string(p.index) + " " + value + ":";
  }
  return s;
}
