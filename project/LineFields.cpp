// SPDX-License-Identifier: LGPL-2.1-or-later
#include "project/LineFields.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

}  // namespace

void LineFields::Split(std::string_view line) {
  fields.clear();
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsSpace(line[i])) ++i;
    size_t start = i;
    while (i < line.size() && !IsSpace(line[i])) ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
}

bool LineFields::Int(size_t index, int64_t& value) const {
  if (index >= fields.size()) return false;
  std::string_view f = fields[index];
  const char* first = f.data();
  const char* last = f.data() + f.size();
  auto [end, ec] = std::from_chars(first, last, value);
  if (end != last) return false;
  if (ec == std::errc::result_out_of_range) {
    value = f[0] == '-' ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
    return true;
  }
  return ec == std::errc();
}

bool LineFields::Double(size_t index, double& value) const {
  if (index >= fields.size()) return false;
  std::string_view f = fields[index];
  const char* first = f.data();
  const char* last = f.data() + f.size();
  auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
  if (end != last || ec != std::errc()) return false;
  return std::isfinite(value);
}

void AppendInt(std::string& out, int64_t value) {
  char buffer[24];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof(buffer), value);
  out.append(buffer, end);
}

void AppendDouble(std::string& out, double value) {
  char buffer[32];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::general, 6);
  if (ec != std::errc()) {
    out += '0';
    return;
  }
  out.append(buffer, end);
}
