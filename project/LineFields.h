// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The whitespace-separated fields of one line of a text file, with strict number parsing:
// a field is a number only when all of it is (no "12abc", no "1.5" for an integer, no "nan"
// or "inf"), so a damaged line is recognised instead of being read as zeros.
class LineFields {
 public:
  // Splits at spaces, tabs, carriage returns and the other C-locale whitespace. The view
  // must outlive the fields.
  void Split(std::string_view line);

  size_t Count() const { return fields.size(); }
  std::string_view Field(size_t index) const { return index < fields.size() ? fields[index] : std::string_view(); }

  // Decimal integer with an optional '-'. Out-of-range values saturate to the int64 limits,
  // so huge numbers still compare as huge; the caller range-checks or clamps.
  bool Int(size_t index, int64_t& value) const;
  // Finite double in the forms a C++ stream or printf("%g") writes.
  bool Double(size_t index, double& value) const;

 private:
  std::vector<std::string_view> fields;
};

// Formats numbers as the project file and the MIDI text export write them, independently
// of the process locale: integers in decimal, doubles like a default C++ stream (general
// format, six significant digits: 0.5, 1, 105.737, 1e+06).
void AppendInt(std::string& out, int64_t value);
void AppendDouble(std::string& out, double value);
