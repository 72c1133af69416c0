// Sequencer: the external reverb subpage's panel (eleven parameter bars, the selected value).
#include "editor/Sequencer.h"
#include "editor/SequencerColors.h"
#include "sound/SFOutput.h"

namespace {

struct ReverbParamRange {
  const char* name;
  double minimum, maximum;
};
constexpr ReverbParamRange kReverbParams[kExternalParams] = {
    {"IN DELAY", 20, 100},      {"LF X", 50, 1000},      {"LOW RT60", 1, 8},     {"MID RT60", 1, 8},
    {"HF DAMPING", 1500, 23520}, {"EQ1 FREQ", 40, 2500},  {"EQ1 LEVEL", -15, 15}, {"EQ2 FREQ", 160, 10000},
    {"EQ2 LEVEL", -15, 15},     {"DRY/WET MIX", -1, 1},  {"LEVEL", -70, 40}};

}  // namespace

void Sequencer::DisplayExternalReverbPanel(QuadList& quads) {
  if (!synth->GetExternalReverbAvailable(track)) {
    PrintText(quads, "EXT REVERB NOT AVAILABLE", 10, 65, 1.5, YellowColor);
    return;
  }
  double values[kExternalParams] = {};
  sessions->GetTrackExternalReverb(track, values);
  const int selected = extReverbParam >= 0 && extReverbParam < kExternalParams ? extReverbParam : 0;
  for (int k = 0; k < kExternalParams; ++k) {
    AddEffectColumn(quads, k, k == selected, values[k], kReverbParams[k].minimum, kReverbParams[k].maximum,
                    k % 2 == 0 ? PinkColor : BlueColor);
  }
  PrintText(quads, FormatEffectValue(values[selected]), 300, 20, 1.2, YellowColor);
  PrintText(quads, kReverbParams[selected].name, 500, 65, 1.5, kTextColor);
  PrintText(quads, FormatEffectValue(kReverbParams[selected].minimum), 10, 40, 1.2, WhiteColor);
  PrintText(quads, FormatEffectValue(kReverbParams[selected].maximum), 500, 40, 1.2, WhiteColor);
  PrintText(quads, sessions->GetTrackExternalReverbEnabled(track) ? "EXT REVERB ON" : "EXT REVERB OFF", 10, 65, 1.5,
            kTextColor);
}
