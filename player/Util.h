// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Measures milliseconds on the monotonic clock. One per thread that uses it.
class Timer {
 public:
  void Start();
  // Milliseconds since the last Start(); does not restart.
  double GetTimeElapsed() const;
  // Milliseconds since the last start, and a new start at that same reading of the clock. A
  // loop that reads the elapsed time and then calls Start() loses the time between the two
  // readings on every turn; at a thousand turns a second that slowed the player by 0.01 %.
  double Restart();

 private:
  int64_t startSeconds = 0;
  int64_t startNanoseconds = 0;
};

// Random numbers from the C library's process-wide generator (srand/rand). It holds no state
// of its own; the program draws only from the sequencer thread.
class Rnd {
 public:
  // Seeds the generator from the wall clock; called once at start-up.
  static void Init();

  // lo and hi are both possible, each half as often as a value between them. Bounds given in
  // the wrong order are accepted and give a value between them.
  static int GetInt(int lo, int hi);
  static unsigned GetUint(unsigned lo, unsigned hi);
  static double GetDouble(double lo, double hi);
  static float GetFloat(float lo, float hi);
  // One of eight unit vectors: the four axes and the four diagonals.
  static void GetDirection(double& dx, double& dy);
  // An index drawn with probability proportional to its weight; never one of weight 0.
  // -1 for an empty list, a negative or non-finite weight, or a sum below 1e-6.
  static int GetRandomInterval(const std::vector<double>& weights);

 private:
  // rand() / RAND_MAX: 0 <= u <= 1.
  static double Unit();
};

struct KeyAndValue {
  double key;
  int32_t value;
};

// Sorts by key; equal keys end up in no particular order. NaN keys go last either way.
void SortKeysAndValues(std::vector<KeyAndValue>& items, bool ascending);

// Intersection of the closed ranges [a0, a1] and [b0, b1]. False, with lo = hi = 0, when they
// are disjoint or either range is reversed.
bool IntervalIntersect(int a0, int a1, int b0, int b1, int& lo, int& hi);

// True for "" and for text made only of white space.
bool isNullOrWhitespace(const std::string& text);
