// SPDX-License-Identifier: LGPL-2.1-or-later
#include "devices/MidiPorts.h"

#include <atomic>
#include <cctype>
#include <chrono>
#include <exception>
#include <thread>

namespace {

// The compiled APIs in RtMidi's order, with `preferred` moved to the front.
std::vector<RtMidi::Api> ApisToTry(RtMidi::Api preferred) {
  std::vector<RtMidi::Api> compiled;
  RtMidi::getCompiledApi(compiled);
  std::vector<RtMidi::Api> order;
  if (preferred != RtMidi::UNSPECIFIED) order.push_back(preferred);
  for (RtMidi::Api api : compiled) {
    if (api != preferred) order.push_back(api);
  }
  return order;
}

unsigned int PortCount(RtMidi& midi) {
  try {
    return midi.getPortCount();
  } catch (const std::exception&) {
    return 0;
  }
}

// An API that could not be created once (the ALSA sequencer is missing) is not tried again
// in this run, so that its complaint is printed once rather than for every port list.
std::atomic<bool> apiFailed[RtMidi::NUM_APIS];

template <typename T, typename Make>
std::unique_ptr<T> CreateWithFallback(RtMidi::Api preferred, Make make) {
  std::unique_ptr<T> firstCreated;
  for (RtMidi::Api api : ApisToTry(preferred)) {
    if (api < 0 || api >= RtMidi::NUM_APIS || apiFailed[api]) continue;
    std::unique_ptr<T> midi;
    try {
      midi = make(api);
    } catch (const std::exception&) {
      apiFailed[api] = true;  // RtMidiError has already printed why
      continue;
    }
    if (PortCount(*midi) > 0) {
      firstCreated.reset();
      return midi;
    }
    if (firstCreated == nullptr) firstCreated = std::move(midi);
  }
  return firstCreated;
}

// Several JACK periods even at large buffer sizes (1024 frames at 44.1 kHz is 23 ms).
constexpr std::chrono::milliseconds kJackSettleTime(50);

template <typename T>
void CloseAndDeleteImpl(std::unique_ptr<T>& midi) {
  if (midi == nullptr) return;
  try {
    // RtMidi's JACK output hands messages to its process thread through a ring buffer and
    // unregisters the port right after the cycle that empties it; with the server running
    // its clients asynchronously, the readers would only have taken them a cycle later.
    // Without this wait the All Notes Off of a shutdown was lost now and then.
    const bool jack = midi->getCurrentApi() == RtMidi::UNIX_JACK;
    if (jack) std::this_thread::sleep_for(kJackSettleTime);
    midi->closePort();
    if (jack) std::this_thread::sleep_for(kJackSettleTime);
  } catch (const std::exception&) {
  }
  midi.reset();
}

template <typename T>
OpenResult ChooseAndOpenImpl(T* midi, const std::string& name, const std::string& portName, std::string& chosen) {
  if (midi == nullptr) return OpenResult::kNotFound;
  constexpr int kAttempts = 5;
  for (int attempt = 1;; ++attempt) {
    std::vector<std::string> names = LowerCasePortNames(*midi);
    int port = -1;
    for (size_t i = 0; i < names.size() && port < 0; ++i) {
      if (names[i].find(name) != std::string::npos) port = static_cast<int>(i);
    }
    if (port < 0) return OpenResult::kNotFound;
    chosen = names[port];
    try {
      midi->openPort(static_cast<unsigned int>(port), portName);
    } catch (const std::exception&) {
      return OpenResult::kOpenFailed;
    }
    if (attempt == kAttempts || LowerCasePortNames(*midi) == names) return OpenResult::kOpened;
    try {
      midi->closePort();  // it may have been joined to a port that moved into that index
    } catch (const std::exception&) {
      return OpenResult::kOpenFailed;
    }
  }
}

}  // namespace

OpenResult ChooseAndOpen(RtMidiIn* midi, const std::string& name, const std::string& portName, std::string& chosen) {
  return ChooseAndOpenImpl(midi, name, portName, chosen);
}
OpenResult ChooseAndOpen(RtMidiOut* midi, const std::string& name, const std::string& portName, std::string& chosen) {
  return ChooseAndOpenImpl(midi, name, portName, chosen);
}

void CloseAndDelete(std::unique_ptr<RtMidiIn>& midi) { CloseAndDeleteImpl(midi); }
void CloseAndDelete(std::unique_ptr<RtMidiOut>& midi) { CloseAndDeleteImpl(midi); }

std::string ToLowerCase(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::unique_ptr<RtMidiIn> CreateMidiIn(RtMidi::Api api, const std::string& clientName, unsigned int queueSizeLimit) {
  return CreateWithFallback<RtMidiIn>(
      api, [&](RtMidi::Api a) { return std::make_unique<RtMidiIn>(a, clientName, queueSizeLimit); });
}

std::unique_ptr<RtMidiOut> CreateMidiOut(RtMidi::Api api, const std::string& clientName) {
  return CreateWithFallback<RtMidiOut>(api, [&](RtMidi::Api a) { return std::make_unique<RtMidiOut>(a, clientName); });
}

std::vector<std::string> LowerCasePortNames(RtMidi& midi) {
  std::vector<std::string> names;
  unsigned int count = PortCount(midi);
  for (unsigned int i = 0; i < count; ++i) {
    try {
      names.push_back(ToLowerCase(midi.getPortName(i)));
    } catch (const std::exception&) {
      names.push_back("");  // keeps the indices in step with RtMidi's
    }
  }
  return names;
}

