#pragma once
#include <RtMidi.h>

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
RtMidiIn* CreateMidiIn(RtMidi::Api api, const std::string& clientName, unsigned int queueSizeLimit);
RtMidiOut* CreateMidiOut(RtMidi::Api api, const std::string& clientName);

// Names of the ports `midi` offers, in lower case; a port whose name cannot be read is "".
std::vector<std::string> LowerCasePortNames(RtMidi& midi);

// Index of the first name containing `name` as a plain substring (`name` is not converted
// to lower case), or -1.
int FindPort(const std::vector<std::string>& lowerCaseNames, const std::string& name);
