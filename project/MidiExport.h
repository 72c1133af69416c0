// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <string>

// Player::ExportToMidi writes the song as MIDI text (fileName, normally "./" + prefix + ".asc")
// and, beside it, as a standard MIDI file with the same notes (on General MIDI channels there:
// drum kits on channel 10). This is the name of the latter: a final ".asc" replaced by ".mid"
// ("./song.asc" gives "./song.mid"); any other name gets ".mid" appended ("./song.txt" gives
// "./song.txt.mid").
std::string MidiFileNameFor(const std::string& textFileName);
