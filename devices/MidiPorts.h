// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <RtMidi.h>

#include <memory>
#include <string>
#include <vector>

// Creating RtMidi objects and choosing ports by name, shared by MidiInput and MidiOutput.
// Nothing here throws: RtMidiError is caught where it arises. RtMidi prints its own
// messages to standard error before it throws.

std::string ToLowerCase(const std::string& text);

// RtMidi's own choice of API (RtMidi::UNSPECIFIED) throws as soon as the first compiled API
// fails, as ALSA does on a machine without the ALSA sequencer, and never reaches the others.
// So every compiled API is tried in RtMidi's order, `api` first when one is named: the first
// that has ports wins, else the first that could be created. Null when none can be created.
// An API that failed once is skipped for the rest of the run.
std::unique_ptr<RtMidiIn> CreateMidiIn(RtMidi::Api api, const std::string& clientName, unsigned int queueSizeLimit);
std::unique_ptr<RtMidiOut> CreateMidiOut(RtMidi::Api api, const std::string& clientName);

// Names of the ports `midi` offers, in lower case; a port whose name cannot be read is "".
std::vector<std::string> LowerCasePortNames(RtMidi& midi);

// Opens the first port whose lower-cased name contains `name` as a plain substring (`name`
// itself is not converted); `chosen` gets that lower-cased name. RtMidi opens ports by index,
// and the list changes whenever another program adds or removes a port, so when the list
// differs after the open the port is closed and chosen again. An RtMidiError of the open
// counts as kOpenFailed (RtMidi has printed it). `midi` may be null (no MIDI system).
enum class OpenResult { kOpened, kNotFound, kOpenFailed };
OpenResult ChooseAndOpen(RtMidiIn* midi, const std::string& name, const std::string& portName, std::string& chosen);
OpenResult ChooseAndOpen(RtMidiOut* midi, const std::string& name, const std::string& portName, std::string& chosen);

// Closes the port and deletes an object whose port was opened (or whose opening failed); `midi`
// is null afterwards. RtMidi's JACK back end frees what its process
// callback reads while a callback that began before the port closed may still be running
// (a crash at exit, seen under load). Once the port is closed, later callbacks return at
// once; on JACK a short pause lets a running one end before the delete.
void CloseAndDelete(std::unique_ptr<RtMidiIn>& midi);
void CloseAndDelete(std::unique_ptr<RtMidiOut>& midi);
