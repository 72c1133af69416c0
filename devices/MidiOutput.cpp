// SPDX-License-Identifier: LGPL-2.1-or-later
#include "devices/MidiOutput.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "devices/MidiPorts.h"

MidiOutput::MidiOutput() : usable(false) {}

MidiOutput::~MidiOutput() { Shutdown(); }

bool MidiOutput::Init(const std::string& name, int number, RtMidi::Api api) {
  Shutdown();  // a second Init must not leave the first port open behind our back
  if (name.empty()) return false;

  std::unique_ptr<RtMidiOut> out = CreateMidiOut(api, "RtMidi Output Client");
  std::string chosen;
  OpenResult opened = ChooseAndOpen(out.get(), name, "RtMidi Output", chosen);
  if (opened == OpenResult::kNotFound) {
    printf("could not find requested midi output device '%s'\n", name.c_str());
    return false;
  }
  printf("Selected midi output %d: %s\n", number, chosen.c_str());
  if (opened == OpenResult::kOpenFailed) {
    // RtMidiError has printed its own message.
    printf("coult not open output\n");
    CloseAndDelete(out);
    return false;
  }
  // RtMidi found and named the port; on JACK the program's own client takes it over, so that
  // messages leave at their time. Should that fail, RtMidi keeps it.
  if (out->getCurrentApi() == RtMidi::UNIX_JACK && std::getenv("ZS_MIDI_OUTPUT_RTMIDI") == nullptr) {
    auto sender = std::make_unique<JackMidiSender>();
    if (sender->Open(chosen)) {
      CloseAndDelete(out);
      jack = std::move(sender);
    }
  }
  midiOut = std::move(out);
  outputNumber = number;
  usable = true;
  return true;
}

void MidiOutput::Shutdown() {
  if (midiOut != nullptr || jack != nullptr) EndAllNotes();
  if (midiOut != nullptr) CloseAndDelete(midiOut);
  if (jack != nullptr) {
    jack->Close();
    if (jack->LateCount() > 0 || jack->DroppedCount() > 0) {
      printf("midi output %d: %" PRIu64 " messages went out late, %" PRIu64 " did not fit the queue\n", outputNumber,
             jack->LateCount(), jack->DroppedCount());
    }
    jack.reset();
  }
  usable = false;
  usedChannels = 0;
}

bool MidiOutput::IsUsable() const { return usable; }

void MidiOutput::PrintMidiOutputs(RtMidi::Api api) {
  printf("Midi outputs (use a substring a identifier):\n");
  std::unique_ptr<RtMidiOut> out = CreateMidiOut(api, "RtMidi Output Client");
  if (out == nullptr) return;
  for (const std::string& name : LowerCasePortNames(*out)) printf("%s\n", name.c_str());
}

void MidiOutput::SendEvent(NoteEvent event, double time) {
  if (!usable) return;
  // Callers pass channels 0..15; anything that does not make a note-on status byte, or a
  // note outside 0..127, would reach the device as a different message (a sysex start,
  // a program change), so it is dropped.
  const int status = (0x90 + event.channel) % 256;
  if (status < 0x90 || status > 0x9F) return;
  if (event.note < 0 || event.note > 127) return;
  const int velocity = event.noteOff ? 0 : std::clamp(event.velocity, 0, 127);
  usedChannels |= static_cast<uint16_t>(1u << (status & 0x0F));
  const unsigned char message[3] = {static_cast<unsigned char>(status), static_cast<unsigned char>(event.note),
                                    static_cast<unsigned char>(velocity)};
  Send(time, message, 3);
}

void MidiOutput::SendRealtime(unsigned char status, double time) {
  if (!usable || status < 0xF8) return;
  Send(time, &status, 1);
}

void MidiOutput::SendSongPosition(int beats, double time) {
  if (!usable) return;
  const int position = std::clamp(beats, 0, 16383);
  const unsigned char message[3] = {0xF2, static_cast<unsigned char>(position & 0x7F),
                                    static_cast<unsigned char>(position >> 7)};
  Send(time, message, 3);
}

void MidiOutput::LaunchpadAllNotesOff(double time) {
  if (!usable) return;
  // A pad whose message failed stays lit, but that is no reason to leave the others lit too.
  for (int n = 0; n < 128; ++n) {
    const unsigned char message[3] = {0x90, static_cast<unsigned char>(n), 0};
    Send(time, message, 3);
  }
}

void MidiOutput::EndAllNotes() {
  if (midiOut == nullptr && jack == nullptr) return;
  for (int channel = 0; channel < 16; ++channel) {
    if (!(usedChannels & (1u << channel))) continue;
    const unsigned char status = static_cast<unsigned char>(0xB0 + channel);
    const unsigned char allNotesOff[3] = {status, 123, 0};
    const unsigned char sustainUp[3] = {status, 64, 0};
    Send(kSendNow, allNotesOff, 3);
    Send(kSendNow, sustainUp, 3);
  }
}

void MidiOutput::Send(double time, const unsigned char* message, int size) {
  if (jack != nullptr) {
    // A time before the last one sent is fine: the sender keeps its messages in time order.
    jack->Send(time < 0 ? MonotonicSeconds() : time, message, size);
    return;
  }
  if (midiOut == nullptr) return;
  try {
    midiOut->sendMessage(message, static_cast<size_t>(size));
  } catch (const std::exception&) {
    // RtMidiError has printed its own message; the next message may well get through.
  }
}
