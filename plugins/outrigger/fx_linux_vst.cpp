// SPDX-License-Identifier: LGPL-2.1-or-later
// Outrigger: a stereo LADSPA effect that hands its audio to a Linux VST 2 effect.
//
// Which VST to load, its program and its parameters arrive in the environment variable
// ZEMBROVANE_SEQUENCER_FX_LINUX_VST as "name:program:count:index value:...:". The VST is
// opened and configured once, when this library is loaded, and is shared by all instances.
//
// The library links against nothing but libc (dlopen lives there): no C++ runtime, so no
// new/delete, no exceptions and no objects with constructors at namespace scope.

#include <dlfcn.h>
#include <ladspa.h>
#include <limits.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#define OUTRIGGER_EXPORT __attribute__((visibility("default")))

namespace {

// ---- The few VST 2 interface elements this host needs (64-bit layout). ----

struct VstEffect;

using VstHostCallback = intptr_t (*)(VstEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                     void* ptr, float opt);
using VstDispatcher = intptr_t (*)(VstEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                   void* ptr, float opt);
using VstSetParameter = void (*)(VstEffect* effect, int32_t index, float value);
using VstProcessReplacing = void (*)(VstEffect* effect, float** inputs, float** outputs, int32_t sampleFrames);
using VstPluginMain = VstEffect* (*)(VstHostCallback host);

// Only the fields read here are named; the VST owns the record and it is longer than this.
struct VstEffect {
  int32_t magic;
  VstDispatcher dispatcher;
  void* process;
  VstSetParameter setParameter;
  void* getParameter;
  int32_t numPrograms;
  int32_t numParams;
  char notUsed[120 - 48];
  VstProcessReplacing processReplacing;
};
static_assert(offsetof(VstEffect, dispatcher) == 8);
static_assert(offsetof(VstEffect, setParameter) == 24);
static_assert(offsetof(VstEffect, numPrograms) == 40);
static_assert(offsetof(VstEffect, numParams) == 44);
static_assert(offsetof(VstEffect, processReplacing) == 120);

enum : int32_t {
  effOpen = 0,
  effClose = 1,
  effSetProgram = 2,
  effGetProgram = 3,
  effGetParamLabel = 6,
  effGetParamDisplay = 7,
  effGetParamName = 8,
  effSetSampleRate = 10,
  effSetBlockSize = 11,
  effGetProgramNameIndexed = 29,
  effBeginSetProgram = 67,
  effEndSetProgram = 68,
};

constexpr int32_t audioMasterVersion = 1;
constexpr intptr_t HostVstVersion = 2400;

// What the VST is told at load; run() never hands it more frames than this at once.
constexpr float VstSampleRate = 44100.0f;
constexpr int32_t VstBlockSize = 512;

// Limits on the untrusted settings string.
constexpr int MaxParams = 64;
constexpr size_t MaxTokenLength = 255;

// The VST writes names into this; it is told nothing of the size, so leave generous room
// beyond the 256 bytes a VST 2 effect may use, and print at most 255 characters of it.
constexpr size_t TextBufferSize = 1024;
constexpr int TextPrintLength = 255;

// ---- LADSPA descriptor. ----

constexpr unsigned long UniqueId = 738150397;
constexpr unsigned long PortCount = 6;

enum PortIndex : unsigned long {
  PortGain = 0,
  PortProgram = 1,
  PortInputLeft = 2,
  PortOutputLeft = 3,
  PortInputRight = 4,
  PortOutputRight = 5,
};

struct Instance {
  LADSPA_Data* ports[PortCount];
};

// ---- Library-wide state: written at load and unload only. ----

VstEffect* g_pPlugin = nullptr;
float** g_inBuf = nullptr;
float** g_outBuf = nullptr;
LADSPA_Descriptor* g_psStereoDescriptor = nullptr;

char g_vstName[MaxTokenLength + 1];
int32_t g_program = -1;
int32_t g_numParams = 0;
int32_t g_paramIndex[MaxParams];
float g_paramValue[MaxParams];

intptr_t hostCallback(VstEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == audioMasterVersion ? HostVstVersion : 0;
}

// Reads a decimal integer as atoi would, but refuses values outside 32 bits.
bool ParseInt(const char* text, int32_t* result) {
  long value = strtol(text, nullptr, 10);
  if (value < INT32_MIN || value > INT32_MAX) return false;
  *result = static_cast<int32_t>(value);
  return true;
}

// "index value" with at least one space between; anything after the value is ignored.
bool ParseParam(const char* token, int32_t* index, float* value) {
  const char* p = token;
  while (*p == ' ') ++p;
  const char* indexText = p;
  while (*p != ' ' && *p != '\0') ++p;
  if (p == indexText) return false;
  while (*p == ' ') ++p;
  if (*p == '\0') return false;
  if (!ParseInt(indexText, index)) return false;
  *value = static_cast<float>(atof(p));
  return true;
}

// Parses "name:program:count:index value:...:" into the g_ settings. Returns false for a
// string that cannot be trusted: a token over 255 characters, a count outside 0..64, a
// program below -1, a parameter without a value, or fewer parameters than announced.
bool ParseSettings(const char* settings) {
  char token[MaxTokenLength + 1];
  int tokenNumber = 0;
  const char* p = settings;
  for (;;) {
    // The empty token after the final ':' (or anything else) past the last parameter ends it.
    if (tokenNumber >= 3 && tokenNumber - 3 >= g_numParams) break;
    const char* end = strchr(p, ':');
    if (end == nullptr) end = p + strlen(p);
    size_t length = static_cast<size_t>(end - p);
    if (length > MaxTokenLength) return false;
    memcpy(token, p, length);
    token[length] = '\0';

    if (tokenNumber == 0) {
      memcpy(g_vstName, token, length + 1);
    } else if (tokenNumber == 1) {
      if (!ParseInt(token, &g_program) || g_program < -1) return false;
    } else if (tokenNumber == 2) {
      if (!ParseInt(token, &g_numParams) || g_numParams < 0 || g_numParams > MaxParams) return false;
    } else {
      int slot = tokenNumber - 3;
      if (!ParseParam(token, &g_paramIndex[slot], &g_paramValue[slot])) return false;
    }
    ++tokenNumber;
    if (*end == '\0') break;
    p = end + 1;
  }
  // The string ended before the announced number of parameters.
  return tokenNumber < 3 || tokenNumber - 3 >= g_numParams;
}

void ResetSettings() {
  g_vstName[0] = '\0';
  g_program = -1;
  g_numParams = 0;
  for (int i = 0; i < MaxParams; ++i) {
    g_paramIndex[i] = 0;
    g_paramValue[i] = 0.0f;
  }
}

void PrintDirectories() {
  Dl_info info;
  const char* self = "";
  if (dladdr(reinterpret_cast<void*>(&hostCallback), &info) != 0 && info.dli_fname != nullptr) {
    self = info.dli_fname;
  }
  const char* slash = strrchr(self, '/');
  int selfLength = slash != nullptr ? static_cast<int>(slash - self) : 0;
  printf("Loaded from path = %.*s\n", selfLength, self);

  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe));
  // A full buffer may be a truncated path: treat it as unreadable.
  int exeLength = 0;
  if (n > 0 && n < static_cast<ssize_t>(sizeof(exe))) {
    for (int i = static_cast<int>(n) - 1; i >= 0; --i) {
      if (exe[i] == '/') {
        exeLength = i + 1;
        break;
      }
    }
  }
  printf("Exe-Path = %.*s\n", exeLength, exe);
}

int TextLength(const char* text) { return static_cast<int>(strnlen(text, TextPrintLength)); }

void ListProgramsAndParams(VstEffect* effect) {
  char text[TextBufferSize];
  memset(text, 0, sizeof(text));
  for (int32_t p = 0; p < effect->numPrograms; ++p) {
    effect->dispatcher(effect, effGetProgramNameIndexed, p, 0, text, 0.0f);
    printf("ladspa linux vst: program %d name %.*s\n", p, TextLength(text), text);
  }
  memset(text, 0, sizeof(text));
  for (int32_t i = 0; i < effect->numParams; ++i) {
    effect->dispatcher(effect, effGetParamName, i, 0, text, 0.0f);
    printf("ladspa linux vst: param %d name %.*s\n", i, TextLength(text), text);
    effect->dispatcher(effect, effGetParamLabel, i, 0, text, 0.0f);
    printf("ladspa linux vst: param %d label %.*s\n", i, TextLength(text), text);
    effect->dispatcher(effect, effGetParamDisplay, i, 0, text, 0.0f);
    printf("ladspa linux vst: param %d display %.*s\n", i, TextLength(text), text);
  }
}

void ConfigureVst(VstEffect* effect) {
  ListProgramsAndParams(effect);

  effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, VstSampleRate);
  effect->dispatcher(effect, effSetBlockSize, 0, VstBlockSize, nullptr, 0.0f);
  effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);

  g_inBuf = static_cast<float**>(calloc(2, sizeof(float*)));
  g_outBuf = static_cast<float**>(calloc(2, sizeof(float*)));

  if (g_program != -1) {
    intptr_t current = effect->dispatcher(effect, effGetProgram, 0, 0, nullptr, 0.0f);
    printf("ladspa linux vst: current program is %d\n", static_cast<int>(current));
    printf("ladspa linux vst: setting program %d\n", g_program);
    effect->dispatcher(effect, effBeginSetProgram, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effSetProgram, 0, g_program, nullptr, 0.0f);
    effect->dispatcher(effect, effEndSetProgram, 0, 0, nullptr, 0.0f);
    current = effect->dispatcher(effect, effGetProgram, 0, 0, nullptr, 0.0f);
    printf("ladspa linux vst: current program is %d\n", static_cast<int>(current));
  }

  if (effect->setParameter != nullptr) {
    for (int32_t i = 0; i < g_numParams; ++i) {
      // fx.dat may have been written for another version of the VST (or by hand); an index
      // the VST does not have would reach its parameter array unchecked.
      if (g_paramIndex[i] < 0 || g_paramIndex[i] >= effect->numParams) {
        printf("ladspa linux vst: error: parameter index %d out of range\n", g_paramIndex[i]);
        continue;
      }
      printf("ladspa linux vst: setting param %d to value %f\n", g_paramIndex[i], g_paramValue[i]);
      effect->setParameter(effect, g_paramIndex[i], g_paramValue[i]);
    }
  }
  printf("ladspa linux vst: loaded and configured vst %s\n", g_vstName);
}

void LoadVst(const char* libraryPath) {
  printf("ladspa linux vst: now loading LinuxVST = %s\n", libraryPath);
  // An empty path would make dlopen hand back the host program itself.
  void* handle = libraryPath[0] != '\0' ? dlopen(libraryPath, RTLD_NOW | RTLD_GLOBAL) : nullptr;
  printf("ladspa linux vst: g_handle = %d\n", static_cast<int>(reinterpret_cast<intptr_t>(handle)));
  if (handle == nullptr) return;

  printf("ladspa linux vst: opened library\n");
  // Older Linux VST 2 libraries (Debian's DPF and Dragonfly builds among them) export only
  // "main", the entry point the first Linux hosts looked up.
  auto pluginMain = reinterpret_cast<VstPluginMain>(dlsym(handle, "VSTPluginMain"));
  if (pluginMain == nullptr) pluginMain = reinterpret_cast<VstPluginMain>(dlsym(handle, "main"));
  if (pluginMain == nullptr) {
    printf("ladspa linux vst: error: no VST entry point in %s\n", libraryPath);
    return;
  }
  g_pPlugin = pluginMain(hostCallback);
  if (g_pPlugin == nullptr) return;

  printf("ladspa linux vst: numPrograms = %d\n", g_pPlugin->numPrograms);
  printf("ladpsa linux vst: numParams = %d\n", g_pPlugin->numParams);
  if (g_pPlugin->dispatcher != nullptr) ConfigureVst(g_pPlugin);
}

// ---- LADSPA callbacks. ----

LADSPA_Handle Instantiate(const LADSPA_Descriptor*, unsigned long) {
  return calloc(1, sizeof(Instance));
}

void ConnectPort(LADSPA_Handle handle, unsigned long port, LADSPA_Data* buffer) {
  if (port < PortCount) static_cast<Instance*>(handle)->ports[port] = buffer;
}

// Audio thread. The host links input and output to the same buffers, so doing nothing
// passes the audio unchanged.
void Run(LADSPA_Handle handle, unsigned long sampleCount) {
  const Instance* instance = static_cast<const Instance*>(handle);
  if (g_pPlugin == nullptr || g_inBuf == nullptr || g_outBuf == nullptr) return;
  if (g_pPlugin->processReplacing == nullptr) return;
  LADSPA_Data* const* ports = instance->ports;
  if (!ports[PortInputLeft] || !ports[PortOutputLeft] || !ports[PortInputRight] || !ports[PortOutputRight]) return;

  // The VST was promised blocks of at most VstBlockSize frames.
  for (unsigned long done = 0; done < sampleCount;) {
    unsigned long frames = sampleCount - done;
    if (frames > static_cast<unsigned long>(VstBlockSize)) frames = VstBlockSize;
    g_inBuf[0] = ports[PortInputLeft] + done;
    g_inBuf[1] = ports[PortInputRight] + done;
    g_outBuf[0] = ports[PortOutputLeft] + done;
    g_outBuf[1] = ports[PortOutputRight] + done;
    g_pPlugin->processReplacing(g_pPlugin, g_inBuf, g_outBuf, static_cast<int32_t>(frames));
    done += frames;
  }
}

void Cleanup(LADSPA_Handle handle) { free(handle); }

void FreeDescriptor(LADSPA_Descriptor* descriptor) {
  if (descriptor == nullptr) return;
  free(const_cast<char*>(descriptor->Label));
  free(const_cast<char*>(descriptor->Name));
  free(const_cast<char*>(descriptor->Maker));
  free(const_cast<char*>(descriptor->Copyright));
  free(const_cast<LADSPA_PortDescriptor*>(descriptor->PortDescriptors));
  if (descriptor->PortNames != nullptr) {
    for (unsigned long i = 0; i < PortCount; ++i) free(const_cast<char*>(descriptor->PortNames[i]));
    free(const_cast<char**>(descriptor->PortNames));
  }
  free(const_cast<LADSPA_PortRangeHint*>(descriptor->PortRangeHints));
  free(descriptor);
}

LADSPA_Descriptor* BuildDescriptor() {
  auto* d = static_cast<LADSPA_Descriptor*>(calloc(1, sizeof(LADSPA_Descriptor)));
  if (d == nullptr) return nullptr;
  d->UniqueID = UniqueId;
  d->Label = strdup("zembrovane_fx_linuxvst");
  d->Properties = LADSPA_PROPERTY_HARD_RT_CAPABLE;
  d->Name = strdup("Zembrovane FX LinuxVST");
  d->Maker = strdup("Zembrovane developers");
  d->Copyright = strdup("None");
  d->PortCount = PortCount;

  auto* kinds = static_cast<LADSPA_PortDescriptor*>(calloc(PortCount, sizeof(LADSPA_PortDescriptor)));
  auto* names = static_cast<char**>(calloc(PortCount, sizeof(char*)));
  auto* hints = static_cast<LADSPA_PortRangeHint*>(calloc(PortCount, sizeof(LADSPA_PortRangeHint)));
  d->PortDescriptors = kinds;
  d->PortNames = names;
  d->PortRangeHints = hints;
  if (!d->Label || !d->Name || !d->Maker || !d->Copyright || !kinds || !names || !hints) {
    FreeDescriptor(d);
    return nullptr;
  }

  kinds[PortGain] = LADSPA_PORT_INPUT | LADSPA_PORT_CONTROL;
  kinds[PortProgram] = LADSPA_PORT_INPUT | LADSPA_PORT_CONTROL;
  kinds[PortInputLeft] = LADSPA_PORT_INPUT | LADSPA_PORT_AUDIO;
  kinds[PortOutputLeft] = LADSPA_PORT_OUTPUT | LADSPA_PORT_AUDIO;
  kinds[PortInputRight] = LADSPA_PORT_INPUT | LADSPA_PORT_AUDIO;
  kinds[PortOutputRight] = LADSPA_PORT_OUTPUT | LADSPA_PORT_AUDIO;

  names[PortGain] = strdup("Gain");
  names[PortProgram] = strdup("Program");
  names[PortInputLeft] = strdup("Input (Left)");
  names[PortOutputLeft] = strdup("Output (Left)");
  names[PortInputRight] = strdup("Input (Right)");
  names[PortOutputRight] = strdup("Output (Right)");
  for (unsigned long i = 0; i < PortCount; ++i) {
    if (names[i] == nullptr) {
      FreeDescriptor(d);
      return nullptr;
    }
  }

  hints[PortGain].HintDescriptor = LADSPA_HINT_BOUNDED_BELOW | LADSPA_HINT_LOGARITHMIC | LADSPA_HINT_DEFAULT_1;
  hints[PortGain].LowerBound = 0.0f;
  hints[PortProgram].HintDescriptor =
      LADSPA_HINT_BOUNDED_BELOW | LADSPA_HINT_BOUNDED_ABOVE | LADSPA_HINT_INTEGER | LADSPA_HINT_DEFAULT_MINIMUM;
  hints[PortProgram].LowerBound = 1.0f;
  hints[PortProgram].UpperBound = 16.0f;

  d->instantiate = Instantiate;
  d->connect_port = ConnectPort;
  d->run = Run;
  d->cleanup = Cleanup;
  return d;
}

// ---- Library load and unload. ----

__attribute__((constructor)) void init() {
  ResetSettings();
  PrintDirectories();

  // "./" + a name of at most 255 characters.
  char libraryPath[2 + MaxTokenLength + 1] = "";
  const char* settings = getenv("ZEMBROVANE_SEQUENCER_FX_LINUX_VST");
  if (settings != nullptr) {
    printf("ladspa linux vst: passed fx settings = >%s<\n", settings);
    if (ParseSettings(settings)) {
      printf("ladspa linux vst: vst name = %s\n", g_vstName);
      printf("ladspa linux vst: preset = %d\n", g_program);
      printf("ladspa linux vst: num params = %d\n", g_numParams);
      for (int32_t i = 0; i < g_numParams; ++i) {
        printf("ladspa linux vst: param %d value %f\n", g_paramIndex[i], g_paramValue[i]);
      }
      snprintf(libraryPath, sizeof(libraryPath), "./%s", g_vstName);
    } else {
      printf("ladspa linux vst: error: bad fx settings\n");
      ResetSettings();
    }
  }

  LoadVst(libraryPath);
  g_psStereoDescriptor = BuildDescriptor();
}

__attribute__((destructor)) void fini() {
  FreeDescriptor(g_psStereoDescriptor);
  g_psStereoDescriptor = nullptr;
  printf("******** closing plugin\n");
  if (g_pPlugin != nullptr && g_pPlugin->dispatcher != nullptr) {
    g_pPlugin->dispatcher(g_pPlugin, effClose, 0, 0, nullptr, 0.0f);
    free(g_inBuf);
    free(g_outBuf);
    g_inBuf = nullptr;
    g_outBuf = nullptr;
  }
  // The VST library stays loaded: its code may still be referenced by the host's threads.
  g_pPlugin = nullptr;
}

}  // namespace

extern "C" OUTRIGGER_EXPORT const LADSPA_Descriptor* ladspa_descriptor(unsigned long index) {
  return index == 0 ? g_psStereoDescriptor : nullptr;
}
