// SPDX-License-Identifier: LGPL-2.1-or-later
// Outrigger loaded for real with dlopen in a child process, hosting the test VST.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <ladspa.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
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

// Whether `text` holds the lines one after the other.
bool HasLines(const std::string& text, const Lines& lines) {
  std::string joined = "\n";
  for (const std::string& line : lines) joined += line + "\n";
  return ("\n" + text).find(joined) != std::string::npos;
}

Signal Sine(size_t frames, float amplitude, float step) {
  Signal s(frames);
  for (size_t i = 0; i < frames; ++i) s[i] = amplitude * std::sin(step * static_cast<float>(i));
  return s;
}

// Runs a stereo signal through the instance in host blocks of `block` frames, in place or into
// outputs of their own, and writes input and output (left, right) to `file` for the parent.
int RunAudio(const LADSPA_Descriptor* d, Signal left, Signal right, size_t block, bool inPlace, const char* file) {
  Signal written = left;
  written.insert(written.end(), right.begin(), right.end());
  Signal outL(left.size(), 9.0f), outR(right.size(), 9.0f);
  Signal& outputL = inPlace ? left : outL;
  Signal& outputR = inPlace ? right : outR;
  float gain = 1.0f, program = 1.0f;
  LADSPA_Handle h = d->instantiate(d, 44100);
  d->connect_port(h, 0, &gain);
  d->connect_port(h, 1, &program);
  for (size_t done = 0; done < left.size(); done += block) {
    d->connect_port(h, 2, left.data() + done);
    d->connect_port(h, 3, outputL.data() + done);
    d->connect_port(h, 4, right.data() + done);
    d->connect_port(h, 5, outputR.data() + done);
    d->run(h, std::min(block, left.size() - done));
  }
  d->cleanup(h);
  written.insert(written.end(), outputL.begin(), outputL.end());
  written.insert(written.end(), outputR.begin(), outputR.end());
  zs::test::WriteFile(file, std::string(reinterpret_cast<const char*>(written.data()), written.size() * sizeof(float)));
  return 0;
}

int RunSines(const LADSPA_Descriptor* d, size_t block, size_t frames, bool inPlace, const char* file) {
  return RunAudio(d, Sine(frames, 0.5f, 0.0627f), Sine(frames, 0.25f, 0.0941f), block, inPlace, file);
}

Signal ReadFloats(const std::string& path) {
  const std::string bytes = zs::test::ReadFile(path);
  Signal values(bytes.size() / sizeof(float));
  std::memcpy(values.data(), bytes.data(), values.size() * sizeof(float));
  return values;
}

// Energy of the output of a one-second RunAudio file from `from` seconds on.
double Energy(const std::string& file, double from) {
  const Signal v = ReadFloats(file);
  double sum = 0;
  for (size_t i = v.size() / 2; i < v.size(); ++i) sum += i % 44100 >= size_t(from * 44100) ? double(v[i]) * v[i] : 0.0;
  return sum;
}

// Largest |output - gain * input| over both channels of a RunAudio file.
float GainError(const std::string& file, float gain) {
  const Signal v = ReadFloats(file);
  if (v.empty() || v.size() % 4 != 0) return INFINITY;
  const size_t half = v.size() / 2;
  float worst = 0.0f;
  for (size_t i = 0; i < half; ++i) worst = std::max(worst, std::fabs(v[half + i] - gain * v[i]));
  return worst;
}

// The lines of a VST log for one kind of call, e.g. "processReplacing ".
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

const auto NoAudio = [](const LADSPA_Descriptor*) { return 0; };

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
          if (descriptorOf == nullptr || descriptorOf(0) == nullptr) return 102;
          if (descriptorOf(1) != nullptr) return 103;
          const int code = body(descriptorOf(0));
          std::fflush(stdout);
          dlclose(handle);
          return code;
        },
        dir, dir + "/out.txt");
    const int code = child.Wait();
    return {code, zs::test::ReadFile(dir + "/out.txt"), SplitLines(zs::test::ReadFile(dir + "/TestVst.log"))};
  }

  // Settings that must leave Outrigger without a VST: audio passes unchanged.
  ChildRun LoadPassingThrough(const char* settings, const char* vstMode = nullptr) {
    ChildRun run = Load(
        settings, [&](const LADSPA_Descriptor* d) { return RunSines(d, 1024, 3000, true, "audio"); }, vstMode);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(GainError(dir + "/audio", 1.0f), 0.0f);
    EXPECT_TRUE(Starting(run.vstLog, "processReplacing").empty());
    return run;
  }

  std::string dir;
};

// Audio passing unchanged without a VST is checked by LoadPassingThrough.
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
  EXPECT_TRUE(HasLines(run.out, {"Loaded from path = " + zs::test::BuildPath("share/plugins"),
                                 "Exe-Path = " + fs::read_symlink("/proc/self/exe").parent_path().string() + "/",
                                 Prefix + "now loading LinuxVST = ", Prefix + "g_handle = 0"}))
      << run.out;
  EXPECT_TRUE(run.vstLog.empty());
}

// The VST is listed, then its program is set framed by queries, then the parameters in order.
TEST_F(Outrigger, ListsTheVstThenSetsTheProgramAndTheParameters) {
  ChildRun run = Load("Plate.so:3:2:2 0.75:0 0.25:", NoAudio);
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
  // What the VST answered, as the host lists it.
  EXPECT_TRUE(HasLines(run.out, {Prefix + "program 3 name Program 3", Prefix + "param 0 name Param 0",
                                 Prefix + "param 0 label x", Prefix + "param 0 display 0.50"}))
      << run.out;
  EXPECT_TRUE(
      HasLines(run.out, {Prefix + "current program is 0", Prefix + "setting program 3", Prefix + "current program is 3",
                         Prefix + "setting param 2 to value 0.750000", Prefix + "setting param 0 to value 0.250000",
                         Prefix + "loaded and configured vst Plate.so", "******** closing plugin"}))
      << run.out;
}

TEST_F(Outrigger, ParameterIndexesTheVstDoesNotHaveAreSkipped) {
  ChildRun run = Load("Plate.so:-1:4:7 0.5:-1 0.5:1 0.25:2147483647 0.5:", NoAudio);
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_EQ(Starting(run.vstLog, "setParameter"), Lines{"setParameter 1 0.25"});
  Lines out = SplitLines(run.out);
  for (const char* index : {"7", "-1", "2147483647"}) {
    const std::string error = Prefix + "error: parameter index " + index + " out of range";
    EXPECT_EQ(std::count(out.begin(), out.end(), error), 1) << run.out;
  }
}

TEST_F(Outrigger, RunAppliesTheVstGainInBlocksOfAtMost512Frames) {
  ChildRun run = Load("Plate.so:-1:1:0 0.25:", [](const LADSPA_Descriptor* d) {
    return RunSines(d, 256, 2500, false, "audio256") + RunSines(d, 1024, 2500, true, "audio1024");
  });
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_LT(GainError(dir + "/audio256", 0.25f), 1e-7f);
  EXPECT_LT(GainError(dir + "/audio1024", 0.25f), 1e-7f);
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
        std::string("Plate.so:-1:1:3 :"), std::string("Plate.so:-1:2:0 0.5:"), std::string("Plate.so:-1:2:0 0.5"),
        std::string("Plate.so:-1:-1:"), std::string("Plate.so:-2:0:"), std::string("Plate.so:99999999999:0:")}) {
    SCOPED_TRACE(settings);
    ChildRun run = LoadPassingThrough(settings.c_str());
    EXPECT_TRUE(
        HasLines(run.out, {Prefix + "passed fx settings = >" + settings + "<", Prefix + "error: bad fx settings",
                           Prefix + "now loading LinuxVST = ", Prefix + "g_handle = 0"}))
        << run.out;
    EXPECT_TRUE(run.vstLog.empty());
  }
}

TEST_F(Outrigger, AcceptsA255CharacterNameAnd64Parameters) {
  std::string name = std::string(252, 'p') + ".so";
  fs::copy_file(ZS_TEST_VST, dir + "/" + name);
  std::string settings = name + ":-1:64:";
  for (int i = 0; i < 64; ++i) settings += std::to_string((63 - i) % 3) + " 0.5:";  // the test VST has 3
  ChildRun run = Load(settings.c_str(), NoAudio);
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_TRUE(HasLines(run.out, {Prefix + "loaded and configured vst " + name})) << run.out;
  EXPECT_EQ(Starting(run.vstLog, "setParameter ").size(), 64u);
  EXPECT_TRUE(Starting(run.vstLog, "dispatcher 2 ").empty()) << "program -1 keeps the VST's own";
  ASSERT_GE(run.vstLog.size(), 2u);
  EXPECT_EQ(run.vstLog[run.vstLog.size() - 2], "setParameter 0 0.5");
}

TEST_F(Outrigger, AVstThatCannotBeUsedLeavesAudioUnchanged) {
  Dl_info libc;
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&printf), &libc), 0);
  fs::create_symlink(libc.dli_fname, dir + "/NoEntry.so");

  EXPECT_TRUE(LoadPassingThrough("Missing.so:-1:0:").vstLog.empty());
  EXPECT_TRUE(HasLines(
      LoadPassingThrough("NoEntry.so:-1:0:").out,
      {Prefix + "opened library", Prefix + "error: no VST entry point in ./NoEntry.so", "******** closing plugin"}));
  EXPECT_EQ(LoadPassingThrough("Plate.so:3:0:", "refuse").vstLog, Lines{"VSTPluginMain 2400"});
  ChildRun noDispatcher = LoadPassingThrough("Plate.so:3:1:0 0.25:", "nodispatcher");
  EXPECT_EQ(noDispatcher.vstLog, Lines{"VSTPluginMain 2400"});
  EXPECT_TRUE(HasLines(noDispatcher.out,
                       {Prefix + "numPrograms = 4", "ladpsa linux vst: numParams = 3", "******** closing plugin"}))
      << noDispatcher.out;

  // Without setParameter the VST is still opened and processes, with its own gain.
  ChildRun noSetter = Load(
      "Plate.so:-1:1:0 0.25:", [](const LADSPA_Descriptor* d) { return RunSines(d, 512, 1000, false, "audio"); },
      "nosetparameter");
  EXPECT_EQ(noSetter.exitCode, 0);
  EXPECT_LT(GainError(dir + "/audio", 0.5f), 1e-7f);
  EXPECT_TRUE(Starting(noSetter.vstLog, "setParameter").empty());
}

// Debian's packaged effects export only the older entry point "main"; they must load and do to
// the sound what their parameters say.
TEST_F(Outrigger, RunsDebiansPackagedVsts) {
  fs::create_symlink("/usr/lib/lxvst/DragonflyPlateReverb-vst.so", dir + "/Dragonfly.so");
  fs::create_symlink("/usr/lib/vst/3BandEQ-vst.so", dir + "/ThreeBand.so");
  auto impulse = [](const LADSPA_Descriptor* d) {
    Signal left(44100), right(44100);
    left[0] = right[0] = 1.0f;
    return RunAudio(d, left, right, 441, true, "audio");
  };
  ChildRun plate = Load("Dragonfly.so:-1:0:", impulse);
  ASSERT_EQ(plate.exitCode, 0) << plate.out;
  EXPECT_NE(plate.out.find(Prefix + "loaded and configured vst Dragonfly.so"), std::string::npos) << plate.out;
  EXPECT_GT(Energy(dir + "/audio", 0.1), 1e-3);  // the plate's tail, long after the impulse

  // Low, mid, high and master at their minimum (-24 dB each).
  ChildRun eq = Load("ThreeBand.so:-1:4:0 0:1 0:2 0:3 0:", impulse);
  ASSERT_EQ(eq.exitCode, 0) << eq.out;
  EXPECT_NE(eq.out.find(Prefix + "loaded and configured vst ThreeBand.so"), std::string::npos) << eq.out;
  EXPECT_LT(Energy(dir + "/audio", 0.0), 0.01);  // the impulse's energy was 2
}

}  // namespace
