#include "sound/SFOutput.h"

// The LADSPA effect chain of one soundfont (equalizer, reverb, the VST bridge on soundfont 0
// with -x, limiter) is built here, inside Init right after the soundfont is loaded and its
// gain set. Until the chain exists the synthesizer plays dry; its LADSPA host is already
// enabled ("synth.ladspa.active") and reachable with fluid_synth_get_ladspa_fx(synths[soundfont]).
void SFOutput::BuildEffectChain(int soundfont, const std::string& baseDirectory, bool fx) {
  (void)soundfont;
  (void)baseDirectory;
  (void)fx;
}
