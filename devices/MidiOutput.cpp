// SPDX-License-Identifier: LGPL-2.1-or-later
#include "devices/MidiOutput.h"

#include <algorithm>
#include <cstdio>
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
  midiOut = std::move(out);
  usable = true;
  return true;
}

void MidiOutput::Shutdown() {
  if (midiOut != nullptr) {
    EndAllNotes();
    CloseAndDelete(midiOut);
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

void MidiOutput::SendEvent(NoteEvent event) {
  if (midiOut == nullptr) return;
  // Callers pass channels 0..15; anything that does not make a note-on status byte, or a
  // note outside 0..127, would reach the device as a different message (a sysex start,
  // a program change), so it is dropped.
  const int status = (0x90 + event.channel) % 256;
  if (status < 0x90 || status > 0x9F) return;
  if (event.note < 0 || event.note > 127) return;
  const int velocity = event.noteOff ? 0 : std::clamp(event.velocity, 0, 127);
  usedChannels |= static_cast<uint16_t>(1u << (status & 0x0F));
  Send(static_cast<unsigned char>(status), static_cast<unsigned char>(event.note),
       static_cast<unsigned char>(velocity));
}

void MidiOutput::LaunchpadAllNotesOff() {
  if (midiOut == nullptr) return;
  // A pad whose message failed stays lit, but that is no reason to leave the others lit too.
  for (int n = 0; n < 128; ++n) Send(0x90, static_cast<unsigned char>(n), 0);
}

void MidiOutput::EndAllNotes() {
  if (midiOut == nullptr) return;
  for (int channel = 0; channel < 16; ++channel) {
    if (!(usedChannels & (1u << channel))) continue;
    const unsigned char status = static_cast<unsigned char>(0xB0 + channel);
    Send(status, 123, 0);
    Send(status, 64, 0);
  }
}

void MidiOutput::Send(unsigned char status, unsigned char data1, unsigned char data2) {
  const unsigned char message[3] = {status, data1, data2};
  try {
    midiOut->sendMessage(message, sizeof message);
  } catch (const std::exception&) {
    // RtMidiError has printed its own message; the next message may well get through.
  }
}
