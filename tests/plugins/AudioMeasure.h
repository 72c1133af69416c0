// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <cmath>
#include <complex>
#include <cstdint>
#include <numeric>
#include <vector>

namespace zs::test {

using Signal = std::vector<float>;

inline Signal Sine(double freq, double amplitude, double seconds, double rate) {
  Signal s(size_t(seconds * rate));
  for (size_t i = 0; i < s.size(); ++i) s[i] = float(amplitude * std::sin(2.0 * M_PI * freq * double(i) / rate));
  return s;
}

inline Signal Noise(double amplitude, size_t frames, uint32_t seed) {
  Signal s(frames);
  for (float& v : s) {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    v = float(amplitude * (double(seed) / 2147483648.0 - 1.0));
  }
  return s;
}

inline double Rms(const Signal& s, size_t from = 0, size_t to = SIZE_MAX) {
  to = std::min(to, s.size());
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += double(s[i]) * s[i];
  return to > from ? std::sqrt(sum / double(to - from)) : 0.0;
}

inline double Peak(const Signal& s, size_t from = 0) {
  double p = 0;
  for (size_t i = from; i < s.size(); ++i) p = std::max(p, double(std::fabs(s[i])));
  return p;
}

// A click shows as a step no sine of the signal's level and frequency could take.
inline double MaxStep(const Signal& s, size_t from = 0) {
  double step = 0;
  for (size_t i = from + 1; i < s.size(); ++i) step = std::max(step, double(std::fabs(s[i] - s[i - 1])));
  return step;
}

inline double Db(double ratio) { return 20.0 * std::log10(ratio); }

// Gain in dB at `freq` of a system whose impulse response h has decayed; exact at any frequency.
inline double ResponseDb(const Signal& h, double freq, double rate) {
  std::complex<double> sum = 0, turn = std::polar(1.0, -2.0 * M_PI * freq / rate), at = 1;
  for (float v : h) {
    sum += double(v) * at;
    at *= turn;
  }
  return Db(std::abs(sum));
}

// RBJ band-pass (constant 0 dB peak) biquad.
inline std::vector<double> BandPass(const std::vector<double>& x, double centre, double q, double rate) {
  double w0 = 2 * M_PI * centre / rate, alpha = std::sin(w0) / (2 * q), a0 = 1 + alpha;
  double b0 = alpha / a0, b2 = -alpha / a0, a1 = -2 * std::cos(w0) / a0, a2 = (1 - alpha) / a0;
  std::vector<double> y(x.size());
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    y[i] = b0 * x[i] + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x[i];
    y2 = y1;
    y1 = y[i];
  }
  return y;
}

// From Schroeder's backward-integrated energy curve: twice the fall from -5 to -35 dB.
inline double SchroederT60(const std::vector<double>& h, double rate) {
  std::vector<double> edc(h.size() + 1, 0.0);
  for (size_t i = h.size(); i-- > 0;) edc[i] = edc[i + 1] + h[i] * h[i];
  size_t from = 0;
  while (from < h.size() && edc[from] > edc[0] * std::pow(10.0, -0.5)) ++from;
  size_t to = from;
  while (to < h.size() && edc[to] > edc[0] * std::pow(10.0, -3.5)) ++to;
  return 2.0 * double(to - from) / rate;
}

inline double Correlation(const Signal& a, const Signal& b) {
  const double ab = std::inner_product(a.begin(), a.end(), b.begin(), 0.0);
  const double aa = std::inner_product(a.begin(), a.end(), a.begin(), 0.0);
  const double bb = std::inner_product(b.begin(), b.end(), b.begin(), 0.0);
  return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

}  // namespace zs::test
