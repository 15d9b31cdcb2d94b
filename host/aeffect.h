#pragma once
// The plug-in interface as the host sees it: the effect descriptor record handed out by
// `main`, the host callback, the opcodes the dispatcher answers and the flag bits.
// Everything here is plain C layout; on the 32-bit Windows target the record is 144 bytes.

#include <cstdint>

#if defined(_WIN32)
#define VSTCALL __cdecl
#else
#define VSTCALL
#endif

struct AEffect;

// The host callback: effect, opcode, index, value, ptr, opt; answers a 32-bit integer.
typedef int32_t(VSTCALL* audioMasterCallback)(AEffect* effect, int32_t opcode, int32_t index,
                                               int32_t value, void* ptr, float opt);

typedef int32_t(VSTCALL* AEffectDispatcherProc)(AEffect* effect, int32_t opCode, int32_t index,
                                                 int32_t value, void* ptr, float opt);
typedef void(VSTCALL* AEffectProcessProc)(AEffect* effect, float** inputs, float** outputs,
                                          int32_t sampleFrames);
typedef void(VSTCALL* AEffectSetParameterProc)(AEffect* effect, int32_t index, float value);
typedef float(VSTCALL* AEffectGetParameterProc)(AEffect* effect, int32_t index);

// Four-character codes: the first character goes into the most significant byte.
constexpr int32_t fourCharCode(char a, char b, char c, char d) {
  return static_cast<int32_t>((static_cast<uint32_t>(static_cast<unsigned char>(a)) << 24) |
                              (static_cast<uint32_t>(static_cast<unsigned char>(b)) << 16) |
                              (static_cast<uint32_t>(static_cast<unsigned char>(c)) << 8) |
                              static_cast<uint32_t>(static_cast<unsigned char>(d)));
}

constexpr int32_t kEffectMagic = fourCharCode('V', 's', 't', 'P');     // 0x56737450
constexpr int32_t kNoEffectId = fourCharCode('N', 'o', 'E', 'f');      // 0x4E6F4566
constexpr int32_t kIdentifyAnswer = fourCharCode('N', 'v', 'E', 'f');  // 0x4E764566

struct AEffect {
  int32_t magic;
  AEffectDispatcherProc dispatcher;
  AEffectProcessProc process;
  AEffectSetParameterProc setParameter;
  AEffectGetParameterProc getParameter;
  int32_t numPrograms;
  int32_t numParams;
  int32_t numInputs;
  int32_t numOutputs;
  int32_t flags;
  int32_t resvd1;
  int32_t resvd2;
  int32_t initialDelay;
  int32_t realQualities;
  int32_t offQualities;
  float ioRatio;
  void* object;
  void* user;
  int32_t uniqueID;
  int32_t version;
  AEffectProcessProc processReplacing;
  char future[60];
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(AEffect) == 144, "the host expects a 144-byte effect record");
#endif

// Flag bits of AEffect::flags.
enum : int32_t {
  effFlagsHasEditor = 1,
  effFlagsHasClip = 2,
  effFlagsHasVu = 4,
  effFlagsCanMono = 8,
  effFlagsCanReplacing = 16,
};

// Dispatcher opcodes.
enum : int32_t {
  effOpen = 0,
  effClose = 1,
  effSetProgram = 2,
  effGetProgram = 3,
  effSetProgramName = 4,
  effGetProgramName = 5,
  effGetParamLabel = 6,
  effGetParamDisplay = 7,
  effGetParamName = 8,
  effGetVu = 9,
  effSetSampleRate = 10,
  effSetBlockSize = 11,
  effMainsChanged = 12,
  effEditGetRect = 13,
  effEditOpen = 14,
  effEditClose = 15,
  effEditDraw = 16,
  effEditMouse = 17,
  effEditKey = 18,
  effEditIdle = 19,
  effEditTop = 20,
  effEditSleep = 21,
  effIdentify = 22,
};

// Host callback opcodes this plug-in uses.
enum : int32_t {
  audioMasterAutomate = 0,
  audioMasterVersion = 1,
};
