// The real audio path: fluidsynth's ALSA driver playing into a JACK dummy server through the
// ALSA jack plugin, recorded with jack_capture.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "sound/SFOutput.h"
#include "tests/support/SoundTestUtil.h"
#include "tests/support/TestServers.h"

using namespace zs::test;

namespace {

// Samples of a 32-bit float WAV file (all channels interleaved); empty if unreadable.
std::vector<float> ReadFloatWav(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<float> samples;
  if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0) return samples;
  for (size_t pos = 12; pos + 8 <= bytes.size();) {
    uint32_t size;
    memcpy(&size, bytes.data() + pos + 4, 4);
    if (bytes.compare(pos, 4, "data") == 0) {
      size = std::min<uint32_t>(size, bytes.size() - pos - 8);
      samples.resize(size / 4);
      memcpy(samples.data(), bytes.data() + pos + 8, samples.size() * 4);
      break;
    }
    pos += 8 + size + (size & 1);
  }
  return samples;
}

// The JACK output ports of this process's ALSA stream (the jack PCM names its client after
// the program and its pid), so that sound of other tests on the same server is not recorded.
std::vector<std::string> JackLsp(const std::string& arguments) {
  std::vector<std::string> lines;
  FILE* lsp = popen(("jack_lsp " + arguments).c_str(), "r");
  if (!lsp) return lines;
  char line[512];
  while (fgets(line, sizeof(line), lsp)) {
    std::string text(line);
    while (!text.empty() && isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    lines.push_back(text);
  }
  pclose(lsp);
  return lines;
}

std::vector<std::string> OwnAlsaPorts() {
  std::vector<std::string> ports;
  std::string pidPart = "." + std::to_string(getpid()) + ".";
  for (const std::string& port : JackLsp("")) {
    if (port.find(pidPart) != std::string::npos && port.find(":out_") != std::string::npos) ports.push_back(port);
  }
  return ports;
}

// Waits (up to 10 s) until jack_capture listens to the port.
bool WaitForCapture(const std::string& port) {
  for (int i = 0; i < 100; ++i) {
    for (const std::string& line : JackLsp("-c '" + port + "'")) {
      if (line.find("jack_capture:") != std::string::npos) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

TEST(SFOutputJackTest, NotePlayedThroughAlsaReachesJack) {
  ASSERT_TRUE(UseTestServers());
  std::string wav = MakeTempDir("sfoutput-jack") + "/capture.wav";

  SFOutput sf;
  std::string out;
  bool ok = InitCapturingOutput(sf, {kTimGM6mb}, {1.0}, out);
  EXPECT_TRUE(ok) << out;
  ASSERT_TRUE(sf.HasAudioDriver(0)) << out;
  EXPECT_EQ(out.find("error: could not create audio driver"), std::string::npos) << out;
  std::vector<float> l(128), r(128);
  EXPECT_FALSE(sf.RenderBlock(0, 128, l.data(), r.data())) << "the driver owns the rendering";

  std::vector<std::string> ports = OwnAlsaPorts();
  ASSERT_EQ(ports.size(), 2u);
  pid_t capture = fork();
  ASSERT_GE(capture, 0);
  if (capture == 0) {
    execlp("jack_capture", "jack_capture", "--daemon", "-d", "4", "--port", ports[0].c_str(), "--port",
           ports[1].c_str(), "-f", "wav", wav.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_TRUE(WaitForCapture(ports[1]));

  EXPECT_TRUE(sf.SetInstrument(0, 0, 0, 19));  // organ: sustains while held
  sf.SendNoteOn(Playhead{}, 0, 60, 100);
  float loudness = 0.0f;
  for (int i = 0; i < 100; ++i) {  // the level is written by the audio thread
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    loudness = std::max(loudness, sf.GetCurrentLoudness(0));
  }
  sf.SendNoteOff(Playhead{}, 0, 60, 0);
  EXPECT_GT(loudness, 0.005f);

  int status = 0;
  ASSERT_EQ(waitpid(capture, &status, 0), capture);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  sf.Shutdown();

  std::vector<float> samples = ReadFloatWav(wav);
  ASSERT_GT(samples.size(), 44100u) << wav;
  printf("recorded peak %.4f, meter peak %.4f\n", Peak(samples), loudness);
  EXPECT_GT(Peak(samples), 0.005f);
  EXPECT_NEAR(Peak(samples), loudness, 0.5f * loudness) << "the meter shows what was played";
}

}  // namespace
