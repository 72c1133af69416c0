#include <cstdio>

#include "app/CommandLine.h"
#include "app/ProgramDirectory.h"
#include "app/SoundfontList.h"

int main(int argc, char** argv) {
  std::string programDirectory = GetProgramDirectory();
  printf("ZEMBROVANE SEQUENCER VERSION 0.92\n\n");

  CommandLineOptions options;
  if (ParseCommandLine(argc, argv, options) != 0) return 255;

  SoundfontList soundfonts;
  if (!ReadSoundfontList("./soundfonts.dat", soundfonts)) return 1;
  for (size_t i = 0; i < soundfonts.paths.size(); ++i) {
    printf("soundfont %zu: %s (gain %g)\n", i, soundfonts.paths[i].c_str(), soundfonts.gains[i]);
  }
  printf("project file ./%s.dat, resources in %s../share/\n", options.projectPrefix.c_str(),
         programDirectory.c_str());
  return 0;
}
