// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "player/Util.h"

TEST(Rnd, GetIntRoundsEachDrawAndCoversBothEnds) {
  const unsigned seed = 1234;
  srand(seed);
  std::vector<int> raw(20000);
  for (int& r : raw) r = rand();
  srand(seed);
  for (int r : raw) ASSERT_EQ(Rnd::GetInt(0, 1), r / double(RAND_MAX) < 0.5 ? 0 : 1) << "seed " << seed;
  std::vector<int> counts(17);
  for (int i = 0; i < 20000; ++i) {
    const int v = Rnd::GetInt(-8, 8);
    ASSERT_TRUE(v >= -8 && v <= 8) << "seed " << seed << " gave " << v;
    ++counts[v + 8];
  }
  // Every value occurs; the ends get half a slot each.
  for (int c : counts) EXPECT_GT(c, 0);
  EXPECT_NEAR(counts[0] * 2.0 / counts[8], 1.0, 0.25);
  EXPECT_NEAR(counts[16] * 2.0 / counts[8], 1.0, 0.25);
}

TEST(Rnd, RandomIntervalFollowsTheWeightsAndNeverPicksZero) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const std::vector<double>& bad : std::vector<std::vector<double>>{{}, {0, 0}, {1, -1}, {1, nan}})
    EXPECT_EQ(Rnd::GetRandomInterval(bad), -1);
  const unsigned seed = 99;
  srand(seed);
  std::vector<int> counts(5);
  for (int i = 0; i < 20000; ++i) {
    ASSERT_EQ(Rnd::GetRandomInterval({0, 2}), 1) << "seed " << seed;
    const int k = Rnd::GetRandomInterval({0, 1, 0, 3, 0});
    ASSERT_TRUE(k == 1 || k == 3) << "seed " << seed << " gave " << k;
    ++counts[k];
  }
  EXPECT_NEAR(counts[3] / double(counts[1]), 3.0, 0.3);
}

TEST(Util, SortIntersectAndBlank) {
  std::vector<KeyAndValue> items = {{3, 30}, {1, 10}, {std::nan(""), 99}, {0, 0}};
  const auto values = [&] {
    std::vector<int> v;
    for (const KeyAndValue& i : items) v.push_back(i.value);
    return v;
  };
  SortKeysAndValues(items, true);
  EXPECT_EQ(values(), (std::vector<int>{0, 10, 30, 99}));  // NaN last either way
  SortKeysAndValues(items, false);
  EXPECT_EQ(values(), (std::vector<int>{30, 10, 0, 99}));

  const int cases[][7] = {{0, 15, 8, 40, 1, 8, 15}, {0, 7, 8, 15, 0, 0, 0},  {0, 8, 8, 15, 1, 8, 8},
                          {0, 40, 8, 15, 1, 8, 15}, {8, 15, 0, 40, 1, 8, 15}, {8, 40, 0, 15, 1, 8, 15},
                          {15, 0, 0, 40, 0, 0, 0},  {0, 40, 15, 8, 0, 0, 0}};
  for (const auto& c : cases) {
    int lo = -1;
    int hi = -1;
    EXPECT_EQ(IntervalIntersect(c[0], c[1], c[2], c[3], lo, hi), c[4] == 1) << c[0] << " " << c[1] << " " << c[2];
    EXPECT_EQ(lo, c[5]);
    EXPECT_EQ(hi, c[6]);
  }

  EXPECT_TRUE(isNullOrWhitespace("") && isNullOrWhitespace(" \t\r\n"));
  EXPECT_FALSE(isNullOrWhitespace(" a ") || isNullOrWhitespace("\xE4"));
}

// The sequencer thread adds up Restart() once per frame; the sum must keep pace with the
// clock. Reading and restarting separately lost at least the cost of a clock read per turn,
// over 2 ms in 100000 turns; with one reading only the two ends can lose anything (a few
// nanoseconds, unless the thread is preempted right there: hence three tries).
TEST(Util, TimerRestartLosesNoTimeBetweenTurns) {
  double lost = 1e9;
  for (int attempt = 0; attempt < 3 && lost > 0.5; ++attempt) {
    Timer total;
    Timer turns;
    total.Start();
    turns.Start();
    double sum = 0;
    for (int i = 0; i < 100000; ++i) sum += turns.Restart();
    lost = total.GetTimeElapsed() - sum;
    EXPECT_GE(lost, 0.0);
  }
  EXPECT_LT(lost, 0.5) << "milliseconds lost";
}
