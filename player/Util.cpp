// SPDX-License-Identifier: LGPL-2.1-or-later
#include "player/Util.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <ctime>

void Timer::Start() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  startSeconds = now.tv_sec;
  startNanoseconds = now.tv_nsec;
}

double Timer::GetTimeElapsed() const {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const double nowMs = static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) * 1e-6;
  const double startMs = static_cast<double>(startSeconds) * 1000.0 + static_cast<double>(startNanoseconds) * 1e-6;
  return nowMs - startMs;
}

double Timer::Restart() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const double elapsed = static_cast<double>(now.tv_sec - startSeconds) * 1000.0 +
                         static_cast<double>(now.tv_nsec - startNanoseconds) * 1e-6;
  startSeconds = now.tv_sec;
  startNanoseconds = now.tv_nsec;
  return elapsed;
}

void Rnd::Init() {
  // Mixes the seconds so that start-ups one second apart get unrelated sequences.
  uint32_t t = static_cast<uint32_t>(time(nullptr));
  t = ((t >> 16) ^ t) * 73244475u;
  t = ((t >> 16) ^ t) * 73244475u;
  t = (t >> 16) ^ t;
  srand(t);
}

double Rnd::Unit() { return static_cast<double>(rand()) / static_cast<double>(RAND_MAX); }

int Rnd::GetInt(int lo, int hi) {
  // In double, so that hi - lo cannot overflow; the result lies between lo and hi.
  const double span = static_cast<double>(hi) - static_cast<double>(lo);
  return static_cast<int>(std::floor(Unit() * span + lo + 0.5));
}

unsigned Rnd::GetUint(unsigned lo, unsigned hi) {
  // In double: unsigned hi - lo would wrap for hi < lo.
  const double span = static_cast<double>(hi) - static_cast<double>(lo);
  return static_cast<unsigned>(std::floor(Unit() * span + lo + 0.5));
}

double Rnd::GetDouble(double lo, double hi) { return Unit() * (hi - lo) + lo; }

float Rnd::GetFloat(float lo, float hi) { return static_cast<float>(Unit()) * (hi - lo) + lo; }

void Rnd::GetDirection(double& dx, double& dy) {
  static const double kDirections[8][2] = {
      {1, 0},
      {-1, 0},
      {0, 1},
      {0, -1},
      {-0.7071067811865475, -0.7071067811865475},
      {0.7071067811865475, -0.7071067811865475},
      {-0.7071067811865475, 0.7071067811865475},
      {0.7071067811865475, 0.7071067811865475},
  };
  const int i = GetInt(0, 7);
  dx = kDirections[i][0];
  dy = kDirections[i][1];
}

int Rnd::GetRandomInterval(const std::vector<double>& weights) {
  if (weights.empty()) return -1;
  double sum = 0;
  int lastPositive = -1;
  for (size_t i = 0; i < weights.size(); ++i) {
    if (!std::isfinite(weights[i]) || weights[i] < 0) return -1;
    sum += weights[i];
    if (weights[i] > 0) lastPositive = static_cast<int>(i);
  }
  if (!(sum >= 1e-6) || !std::isfinite(sum)) return -1;
  const double r = sum * Unit();
  double running = 0;
  for (size_t i = 0; i < weights.size(); ++i) {
    running += weights[i];
    if (running > r) return static_cast<int>(i);
  }
  // r equal to the sum (u = 1): the last index that can be drawn at all, not a trailing
  // zero weight.
  return lastPositive;
}

void SortKeysAndValues(std::vector<KeyAndValue>& items, bool ascending) {
  // NaN is ordered after every number so that the comparison stays a strict weak ordering,
  // which std::sort needs to stay inside the array.
  if (ascending) {
    std::sort(items.begin(), items.end(), [](const KeyAndValue& a, const KeyAndValue& b) {
      if (std::isnan(a.key)) return false;
      return std::isnan(b.key) || a.key < b.key;
    });
  } else {
    std::sort(items.begin(), items.end(), [](const KeyAndValue& a, const KeyAndValue& b) {
      if (std::isnan(a.key)) return false;
      return std::isnan(b.key) || a.key > b.key;
    });
  }
}

bool IntervalIntersect(int a0, int a1, int b0, int b1, int& lo, int& hi) {
  lo = 0;
  hi = 0;
  if (a0 <= b0 && b1 <= a1 && b0 <= b1) {
    lo = b0;
    hi = b1;
  } else if (a0 >= b0 && b1 >= a1 && a0 <= a1) {
    lo = a0;
    hi = a1;
  } else if (b0 <= a0 && a0 <= b1 && b1 <= a1) {
    lo = a0;
    hi = b1;
  } else if (a0 <= b0 && b0 <= a1 && b1 >= a1) {
    lo = b0;
    hi = a1;
  } else {
    return false;
  }
  return true;
}

bool isNullOrWhitespace(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; });
}
