#pragma once
// The plug-in interface as the host sees it: the effect descriptor record handed out by
// `main`, the host callback, the opcodes the dispatcher answers and the flag bits.
// Everything here is plain C layout. Pointers, the dispatcher's and the callback's `value` and
// answer, and the two reserved fields are pointer-sized; every other field is 32 bits. So one
// definition gives the 144-byte record 32-bit hosts read and the 192-byte record of 64-bit
// hosts, with the fields in the same order.

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define VSTCALL __cdecl
#else
#define VSTCALL
#endif

struct AEffect;

// The host callback: effect, opcode, index, value, ptr, opt; answers a pointer-sized integer.
typedef intptr_t(VSTCALL* audioMasterCallback)(AEffect* effect, int32_t opcode, int32_t index,
                                                intptr_t value, void* ptr, float opt);

typedef intptr_t(VSTCALL* AEffectDispatcherProc)(AEffect* effect, int32_t opCode, int32_t index,
                                                  intptr_t value, void* ptr, float opt);
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
  intptr_t resvd1;
  intptr_t resvd2;
  int32_t initialDelay;
  int32_t realQualities;
  int32_t offQualities;
  float ioRatio;
  void* object;
  void* user;
  int32_t uniqueID;
  int32_t version;
  AEffectProcessProc processReplacing;
  void* reservedEntry;  // an entry this plug-in does not offer: always null
  char future[56];
};

// Where each field lies, as the hosts of each pointer width read the record.
constexpr size_t hostOffset(size_t in32BitCode, size_t in64BitCode) {
  return sizeof(void*) == 4 ? in32BitCode : in64BitCode;
}
static_assert(offsetof(AEffect, magic) == hostOffset(0, 0), "magic");
static_assert(offsetof(AEffect, dispatcher) == hostOffset(4, 8), "dispatcher");
static_assert(offsetof(AEffect, process) == hostOffset(8, 16), "process");
static_assert(offsetof(AEffect, setParameter) == hostOffset(12, 24), "setParameter");
static_assert(offsetof(AEffect, getParameter) == hostOffset(16, 32), "getParameter");
static_assert(offsetof(AEffect, numPrograms) == hostOffset(20, 40), "numPrograms");
static_assert(offsetof(AEffect, numParams) == hostOffset(24, 44), "numParams");
static_assert(offsetof(AEffect, numInputs) == hostOffset(28, 48), "numInputs");
static_assert(offsetof(AEffect, numOutputs) == hostOffset(32, 52), "numOutputs");
static_assert(offsetof(AEffect, flags) == hostOffset(36, 56), "flags");
static_assert(offsetof(AEffect, resvd1) == hostOffset(40, 64), "resvd1");
static_assert(offsetof(AEffect, resvd2) == hostOffset(44, 72), "resvd2");
static_assert(offsetof(AEffect, initialDelay) == hostOffset(48, 80), "initialDelay");
static_assert(offsetof(AEffect, realQualities) == hostOffset(52, 84), "realQualities");
static_assert(offsetof(AEffect, offQualities) == hostOffset(56, 88), "offQualities");
static_assert(offsetof(AEffect, ioRatio) == hostOffset(60, 92), "ioRatio");
static_assert(offsetof(AEffect, object) == hostOffset(64, 96), "object");
static_assert(offsetof(AEffect, user) == hostOffset(68, 104), "user");
static_assert(offsetof(AEffect, uniqueID) == hostOffset(72, 112), "uniqueID");
static_assert(offsetof(AEffect, version) == hostOffset(76, 116), "version");
static_assert(offsetof(AEffect, processReplacing) == hostOffset(80, 120), "processReplacing");
static_assert(offsetof(AEffect, reservedEntry) == hostOffset(84, 128), "reservedEntry");
static_assert(offsetof(AEffect, future) == hostOffset(88, 136), "future");
static_assert(sizeof(AEffect) == hostOffset(144, 192), "the record's size");

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
