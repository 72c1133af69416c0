// SPDX-License-Identifier: LGPL-2.1-or-later
// Outrigger loaded for real with dlopen in a child process, hosting the test VST.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <ladspa.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iterator>
#include <sstream>

#include "tests/support/ChildProcess.h"
#include "tests/support/TestServers.h"

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using Signal = std::vector<float>;

namespace {

const std::string Prefix = "ladspa linux vst: ";

Lines SplitLines(const std::string& text) {
  Lines lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool HasLines(const std::string& text, const Lines& lines) {
  std::string joined = "\n";
  for (const std::string& line : lines) joined += line + "\n";
  return ("\n" + text).find(joined) != std::string::npos;
}

// Runs a stereo signal through the instance in host blocks of `block` frames, in place or into outputs of their own,
// and returns the outputs.
std::array<Signal, 2> RunAudio(const LADSPA_Descriptor* d, std::array<Signal, 2> in, size_t block, bool inPlace) {
  std::array<Signal, 2> ownOutputs = {Signal(in[0].size(), 9.0f), Signal(in[1].size(), 9.0f)};
  std::array<Signal, 2>& out = inPlace ? in : ownOutputs;
  float gain = 1.0f, program = 1.0f;
  LADSPA_Handle h = d->instantiate(d, 44100);
  d->connect_port(h, 0, &gain);
  d->connect_port(h, 1, &program);
  for (size_t done = 0; done < in[0].size(); done += block) {
    for (int c : {0, 1}) {
      d->connect_port(h, 2 + 2 * c, in[c].data() + done);
      d->connect_port(h, 3 + 2 * c, out[c].data() + done);
    }
    d->run(h, std::min(block, in[0].size() - done));
  }
  d->cleanup(h);
  return out;
}

// Exit code of a child that runs two sines through the instance: 0 when the output is `gain` times the input.
int SinesAtGain(const LADSPA_Descriptor* d, size_t block, bool inPlace, float gain) {
  std::array<Signal, 2> in = {Signal(2500), Signal(2500)};
  for (size_t i = 0; i < 2500; ++i) {
    in[0][i] = 0.5f * std::sin(0.0627f * static_cast<float>(i));
    in[1][i] = 0.25f * std::sin(0.0941f * static_cast<float>(i));
  }
  const std::array<Signal, 2> out = RunAudio(d, in, block, inPlace);
  float worst = 0.0f;
  for (int c : {0, 1}) {
    for (size_t i = 0; i < 2500; ++i) worst = std::max(worst, std::fabs(out[c][i] - gain * in[c][i]));
  }
  printf("block %zu: largest error %g\n", block, worst);
  return worst < 1e-7f ? 0 : 10;
}

// Energy of both outputs from `from` seconds on, after a one-second impulse in host blocks of 441 frames.
double ImpulseEnergy(const LADSPA_Descriptor* d, double from) {
  std::array<Signal, 2> in = {Signal(44100), Signal(44100)};
  in[0][0] = in[1][0] = 1.0f;
  double sum = 0;
  for (const Signal& out : RunAudio(d, in, 441, true)) {
    for (size_t i = size_t(from * 44100); i < out.size(); ++i) sum += double(out[i]) * out[i];
  }
  printf("energy %g\n", sum);
  return sum;
}

Lines Starting(const Lines& log, const std::string& prefix) {
  Lines lines;
  std::copy_if(log.begin(), log.end(), std::back_inserter(lines),
               [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  return lines;
}

struct ChildRun {
  int exitCode = -1;
  std::string out;
  Lines vstLog;
};

class Outrigger : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = zs::test::MakeTempDir(std::string("outrigger-") +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::copy_file(ZS_TEST_VST, dir + "/Plate.so");
  }

  // Outrigger reads ZEMBROVANE_SEQUENCER_FX_LINUX_VST (unset when null) once per process, so
  // every configuration loads it in a fresh child; `vstMode` breaks the test VST on purpose.
  ChildRun Load(const char* settings, const std::function<int(const LADSPA_Descriptor*)>& body,
                const char* vstMode = nullptr) {
    fs::remove(dir + "/TestVst.log");
    const std::string library = zs::test::BuildPath("share/plugins/Outrigger.so");
    zs::test::ChildProcess child(
        [&] {
          settings ? setenv("ZEMBROVANE_SEQUENCER_FX_LINUX_VST", settings, 1)
                   : unsetenv("ZEMBROVANE_SEQUENCER_FX_LINUX_VST");
          vstMode ? setenv("TEST_VST_MODE", vstMode, 1) : unsetenv("TEST_VST_MODE");
          void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
          if (handle == nullptr) return 101;
          auto descriptorOf = reinterpret_cast<LADSPA_Descriptor_Function>(dlsym(handle, "ladspa_descriptor"));
          if (descriptorOf == nullptr || descriptorOf(0) == nullptr || descriptorOf(1) != nullptr) return 102;
          const int code = body(descriptorOf(0));
          std::fflush(stdout);
          dlclose(handle);
          return code;
        },
        dir, dir + "/out.txt");
    const int code = child.Wait();
    return {code, zs::test::ReadFile(dir + "/out.txt"), SplitLines(zs::test::ReadFile(dir + "/TestVst.log"))};
  }

  ChildRun LoadPassingThrough(const char* settings, const char* vstMode = nullptr) {
    ChildRun run = Load(
        settings, [](const LADSPA_Descriptor* d) { return SinesAtGain(d, 1024, true, 1.0f); }, vstMode);
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_TRUE(Starting(run.vstLog, "processReplacing").empty());
    return run;
  }

  std::string dir;
};

TEST_F(Outrigger, WithoutSettingsPublishesTheDescriptor) {
  ChildRun run = Load(nullptr, [](const LADSPA_Descriptor* d) {
    printf("%lu %s %s %s %s %d %lu\n", d->UniqueID, d->Label, d->Name, d->Maker, d->Copyright, d->Properties,
           d->PortCount);
    for (unsigned long i = 0; i < d->PortCount; ++i) {
      const LADSPA_PortRangeHint& h = d->PortRangeHints[i];
      printf("%s %d %d %g %g\n", d->PortNames[i], d->PortDescriptors[i], h.HintDescriptor, h.LowerBound, h.UpperBound);
    }
    return 0;
  });
  ASSERT_EQ(run.exitCode, 0) << run.out;
  const Lines descriptor = {
      "738150397 zembrovane_fx_linuxvst Zembrovane FX LinuxVST Zembrovane developers None 4 6",
      "Gain 5 593 0 0",        // control input; bounded below, logarithmic, default 1
      "Program 5 99 1 16",     // control input; bounded, integer, default minimum
      "Input (Left) 9 0 0 0",  // audio input
      "Output (Left) 10 0 0 0",
      "Input (Right) 9 0 0 0",
      "Output (Right) 10 0 0 0",
      "******** closing plugin",
  };
  EXPECT_TRUE(HasLines(run.out, descriptor)) << run.out;
  EXPECT_TRUE(HasLines(run.out, {Prefix + "now loading LinuxVST = ", Prefix + "g_handle = 0"})) << run.out;
}

// The VST is listed, then its program is set framed by queries, then the parameters it has in order.
TEST_F(Outrigger, ListsTheVstThenSetsTheProgramAndTheParametersItHas) {
  ChildRun run = Load("Plate.so:3:5:2 0.75:3 0.5:-1 0.5:2147483647 0.5:0 0.25:", [](auto) { return 0; });
  ASSERT_EQ(run.exitCode, 0) << run.out;
  Lines log = {"VSTPluginMain 2400"};
  for (int p = 0; p < 4; ++p) log.push_back("dispatcher 29 " + std::to_string(p) + " 0 0");
  for (int i = 0; i < 3; ++i) {
    for (int opcode : {8, 6, 7})
      log.push_back("dispatcher " + std::to_string(opcode) + " " + std::to_string(i) + " 0 0");
  }
  for (const char* call : {"dispatcher 10 0 0 44100", "dispatcher 11 0 512 0", "dispatcher 0 0 0 0",
                           "dispatcher 3 0 0 0", "dispatcher 67 0 0 0", "dispatcher 2 0 3 0", "dispatcher 68 0 0 0",
                           "dispatcher 3 0 0 0", "setParameter 2 0.75", "setParameter 0 0.25", "dispatcher 1 0 0 0"})
    log.push_back(call);
  EXPECT_EQ(run.vstLog, log);
  // Each index the VST does not have is reported instead of set.
  EXPECT_TRUE(HasLines(
      run.out, {Prefix + "current program is 0", Prefix + "setting program 3", Prefix + "current program is 3",
                Prefix + "setting param 2 to value 0.750000", Prefix + "error: parameter index 3 out of range",
                Prefix + "error: parameter index -1 out of range",
                Prefix + "error: parameter index 2147483647 out of range", Prefix + "setting param 0 to value 0.250000",
                Prefix + "loaded and configured vst Plate.so", "******** closing plugin"}))
      << run.out;
}

// The longest name and the most parameters the settings take; the VST then gets at most 512 frames at a time.
TEST_F(Outrigger, TakesA255CharacterNameAnd64ParametersAndRunsTheVstInBlocksOfAtMost512Frames) {
  std::string name = std::string(252, 'p') + ".so";
  fs::copy_file(ZS_TEST_VST, dir + "/" + name);
  std::string settings = name + ":-1:64:";
  for (int i = 0; i < 64; ++i) settings += std::to_string((63 - i) % 3) + " 0.25:";  // the test VST has 3
  ChildRun run = Load(settings.c_str(), [](const LADSPA_Descriptor* d) {
    return SinesAtGain(d, 256, false, 0.25f) + SinesAtGain(d, 1024, true, 0.25f);
  });
  ASSERT_EQ(run.exitCode, 0) << run.out;
  const Lines set = Starting(run.vstLog, "setParameter ");
  EXPECT_EQ(set.size(), 64u);
  EXPECT_EQ(set.back(), "setParameter 0 0.25");
  EXPECT_TRUE(Starting(run.vstLog, "dispatcher 2 ").empty()) << "program -1 keeps the VST's own";
  Lines expected(9, "processReplacing 256");
  for (int n : {196, 512, 512, 512, 512, 452}) expected.push_back("processReplacing " + std::to_string(n));
  EXPECT_EQ(Starting(run.vstLog, "processReplacing "), expected);
}

TEST_F(Outrigger, MalformedSettingsLoadNoVstButKeepTheDescriptor) {
  std::string longName(256, '5');
  std::string tooMany = "Plate.so:-1:65:";
  for (int i = 0; i < 65; ++i) tooMany += std::to_string(i) + " 0.5:";
  for (std::string settings :
       {longName + ":-1:0:", "Plate.so:-1:1:0 0." + longName + ":", tooMany, std::string("Plate.so:-1:1:3:"),
        std::string("Plate.so:-1:2:0 0.5:"), std::string("Plate.so:-1:2:0 0.5"), std::string("Plate.so:-1:-1:"),
        std::string("Plate.so:-2:0:"), std::string("Plate.so:99999999999:0:")}) {
    SCOPED_TRACE(settings);
    ChildRun run = LoadPassingThrough(settings.c_str());
    EXPECT_TRUE(HasLines(run.out, {Prefix + "error: bad fx settings", Prefix + "now loading LinuxVST = "})) << run.out;
  }
}

TEST_F(Outrigger, AVstThatCannotBeUsedLeavesAudioUnchanged) {
  fs::create_symlink(zs::test::BuildPath("share/plugins/Equalizer.so"), dir + "/NoEntry.so");  // a LADSPA plug-in

  EXPECT_TRUE(LoadPassingThrough("Missing.so:-1:0:").vstLog.empty());
  EXPECT_TRUE(HasLines(LoadPassingThrough("NoEntry.so:-1:0:").out,
                       {Prefix + "opened library", Prefix + "error: no VST entry point in ./NoEntry.so"}));
  EXPECT_EQ(LoadPassingThrough("Plate.so:3:0:", "refuse").vstLog, Lines{"VSTPluginMain 2400"});
  EXPECT_EQ(LoadPassingThrough("Plate.so:3:1:0 0.25:", "nodispatcher").vstLog, Lines{"VSTPluginMain 2400"});

  ChildRun noSetter = Load(
      "Plate.so:-1:1:0 0.25:", [](const LADSPA_Descriptor* d) { return SinesAtGain(d, 512, false, 0.5f); },
      "nosetparameter");
  EXPECT_EQ(noSetter.exitCode, 0) << noSetter.out;
  EXPECT_TRUE(Starting(noSetter.vstLog, "setParameter").empty());
}

// Debian's packaged effects export only the older entry point "main"; they must load and do to
// the sound what their parameters say.
TEST_F(Outrigger, RunsDebiansPackagedVsts) {
  fs::create_symlink("/usr/lib/lxvst/DragonflyPlateReverb-vst.so", dir + "/Dragonfly.so");
  fs::create_symlink("/usr/lib/vst/3BandEQ-vst.so", dir + "/ThreeBand.so");
  // The plate's tail, long after the impulse.
  ChildRun plate =
      Load("Dragonfly.so:-1:0:", [](const LADSPA_Descriptor* d) { return ImpulseEnergy(d, 0.1) > 1e-3 ? 0 : 10; });
  EXPECT_EQ(plate.exitCode, 0) << plate.out;

  // Low, mid, high and master at their minimum (-24 dB each): the impulse's energy of 2 all but goes.
  ChildRun eq = Load("ThreeBand.so:-1:4:0 0:1 0:2 0:3 0:",
                     [](const LADSPA_Descriptor* d) { return ImpulseEnergy(d, 0.0) < 0.01 ? 0 : 10; });
  EXPECT_EQ(eq.exitCode, 0) << eq.out;
}

}  // namespace
