// SPDX-License-Identifier: LGPL-2.1-or-later
// A Linux VST 2 effect for testing hosts: logs every call to ./TestVst.log and multiplies its
// stereo input by parameter 0 (0.5 until set). Four programs, three parameters. TEST_VST_MODE
// "refuse" returns no effect, "nodispatcher" and "nosetparameter" leave those fields null.
// The record is declared here apart from any host, so a host reading a wrong offset fails.
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct AEffect;
using Dispatcher = intptr_t (*)(AEffect*, int32_t, int32_t, intptr_t, void*, float);
using HostCallback = Dispatcher;
using Process = void (*)(AEffect*, float**, float**, int32_t);
using SetParameter = void (*)(AEffect*, int32_t, float);

struct AEffect {
  int32_t magic;
  Dispatcher dispatcher;
  Process process;
  SetParameter setParameter;
  void* getParameter;
  int32_t numPrograms, numParams, numInputs, numOutputs, flags;
  intptr_t resvd1, resvd2;
  int32_t initialDelay, realQualities, offQualities;
  float ioRatio;
  void* object;
  void* user;
  int32_t uniqueID, version;
  Process processReplacing;
  void* processDoubleReplacing;
  char future[56];
};
static_assert(offsetof(AEffect, processReplacing) == 120, "VST 2 64-bit layout");

constexpr int NumPrograms = 4;
constexpr int NumParams = 3;

AEffect g_effect;
int g_program = 0;
float g_params[NumParams] = {0.5f, 0.0f, 0.0f};

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Log(const char* format, ...) {
  // Opened per line, so that a crashing host still leaves a complete log.
  FILE* file = fopen("TestVst.log", "a");
  if (file == nullptr) return;
  va_list args;
  va_start(args, format);
  vfprintf(file, format, args);
  va_end(args);
  fputc('\n', file);
  fclose(file);
}

intptr_t Dispatch(AEffect*, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
  Log("dispatcher %d %d %ld %g", opcode, index, static_cast<long>(value), opt);
  char* text = static_cast<char*>(ptr);
  switch (opcode) {
    case 2:  // effSetProgram
      g_program = static_cast<int>(value);
      return 0;
    case 3:  // effGetProgram
      return g_program;
    case 6:  // effGetParamLabel
      if (text) snprintf(text, 8, "%s", index == 0 ? "x" : "%");
      return 0;
    case 7:  // effGetParamDisplay
      if (text && index >= 0 && index < NumParams) snprintf(text, 8, "%.2f", g_params[index]);
      return 0;
    case 8:  // effGetParamName
      if (text) snprintf(text, 8, "Param %d", index);
      return 0;
    case 29:  // effGetProgramNameIndexed
      if (text) snprintf(text, 24, "Program %d", index);
      return 1;
    default:
      return 0;
  }
}

void SetParam(AEffect*, int32_t index, float value) {
  Log("setParameter %d %g", index, value);
  if (index >= 0 && index < NumParams) g_params[index] = value;
}

void ProcessReplacing(AEffect*, float** inputs, float** outputs, int32_t frames) {
  Log("processReplacing %d", frames);
  float gain = g_params[0];
  for (int c = 0; c < 2; ++c) {
    for (int32_t i = 0; i < frames; ++i) outputs[c][i] = inputs[c][i] * gain;
  }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(HostCallback host) {
  long version = host ? static_cast<long>(host(nullptr, 1, 0, 0, nullptr, 0.0f)) : 0;
  Log("VSTPluginMain %ld", version);
  const char* mode = getenv("TEST_VST_MODE");
  mode = mode ? mode : "";
  if (strcmp(mode, "refuse") == 0) return nullptr;

  memset(&g_effect, 0, sizeof(g_effect));
  g_effect.magic = 0x56737450;  // 'VstP'
  g_effect.dispatcher = strcmp(mode, "nodispatcher") == 0 ? nullptr : Dispatch;
  g_effect.setParameter = strcmp(mode, "nosetparameter") == 0 ? nullptr : SetParam;
  g_effect.numPrograms = NumPrograms;
  g_effect.numParams = NumParams;
  g_effect.numInputs = 2;
  g_effect.numOutputs = 2;
  g_effect.uniqueID = 0x5a537476;
  g_effect.processReplacing = ProcessReplacing;
  return &g_effect;
}
