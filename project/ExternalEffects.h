// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include "model/SessionsStore.h"
#include "sound/ExternalEffectRanges.h"

class SFOutput;

// The external reverb and equalizer of a soundfont live in its LADSPA effect chain; the project
// keeps them per track. Every exchange between the two goes through the three functions below;
// loading and saving limit the stored values to kExternalReverbRanges and kExternalEqualizerRanges.

// Sends the track's stored external reverb and/or equalizer settings (active flag and the
// eleven parameters each) to the synthesizer of the track's soundfont.
void ApplyExternalEffects(SFOutput* synth, SessionsStore* store, int track, bool reverb, bool equalizer);

// Reads back the external reverb parameters the synthesizer now holds for the track's
// soundfont into the track's attributes (after loading, several tracks on one soundfont
// end up with the values of the last one set).
void ReadBackExternalReverb(SFOutput* synth, SessionsStore* store, int track);

// Takes the synthesizer's current external settings (active flags and parameters) into the
// track's attributes, as a new project does.
void TakeExternalEffectsFromSynth(SFOutput* synth, SessionsStore* store, int track);
