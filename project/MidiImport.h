// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <string>
#include <string_view>

// How a standard MIDI file becomes a project.
struct MidiImportOptions {
  int stepsPerQuarter = 4;     // 4: a step is a sixteenth note
  int soundfont = 0;           // the soundfont number (line of soundfonts.dat) of every track
  std::string soundfontName;   // written beside the number for people reading the file
};

// Turns a standard MIDI file (format 0 or 1) into the text of a project file, made by the
// project's own writer from a song model filled through the player:
// - each channel (format 0) or track and channel (format 1) with notes becomes a track, at most
//   12, the busiest kept; in a format 1 file whose tracks each play on one channel, the n-th
//   track with notes keeps its place (counting from the first track, or from the second when
//   the first is a conductor track without notes), otherwise they are numbered in file order;
// - channel 10 becomes a drum kit (bank 128); the last program change and bank select before a
//   track's first note choose its instrument, controllers 7 and 10 there its volume and pan
//   (those of its own track chunk first, as two drum tracks share channel 10);
// - the first tempo is the project's tempo (SMPTE files: 120 BPM); later changes are left out;
// - a first bar (by the time signature at its start, 4/4 without one) holding no notes is
//   taken for set-up and skipped, as the sequencer's own export writes it;
// - positions and lengths are rounded to 1/128 step; notes of one key overlapping on a track
//   are ended first in, first out; a note-on of velocity 0 is a note-off;
// - the song is laid out over sessions of 256 steps (16 bars) played in order, at most 12.
// Returns false with an "error: ..." line in `messages` when the file cannot be read or holds
// no notes; otherwise `messages` has a summary and what was left out, one line each.
bool ImportMidiFile(std::string_view bytes, const MidiImportOptions& options, std::string& projectText,
                    std::string& messages);
