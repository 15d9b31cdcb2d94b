// The effect record as a host reads it: raw bytes at fixed offsets of the 144-byte record of
// 32-bit hosts or the 192-byte record of 64-bit ones, independent of how this project declares
// the record.

#include <cmath>
#include <cstring>

#include "engine/parameters.h"
#include "tests/wine/plugin_test.h"

namespace {

template <typename T>
T fieldAt(const AEffect* effect, size_t offset) {
  T value;
  std::memcpy(&value, reinterpret_cast<const unsigned char*>(effect) + offset, sizeof value);
  return value;
}

using RawDispatcher = intptr_t(__cdecl*)(AEffect*, int32_t, int32_t, intptr_t, void*, float);
using RawProcess = void(__cdecl*)(AEffect*, float**, float**, int32_t);
using RawSetParameter = void(__cdecl*)(AEffect*, int32_t, float);
using RawGetParameter = float(__cdecl*)(AEffect*, int32_t);

// A field's offset in the record of this program's pointer width.
constexpr auto at = hostOffset;

constexpr size_t kRecordSize = at(144, 192);
constexpr size_t kReservedEntry = at(84, 128);  // a pointer that stays null, then zeroes

}  // namespace

TEST_F(PluginTest, RecordFieldsSitAtTheirByteOffsets) {
  AEffect* effect = instantiate();
  ASSERT_NE(effect, nullptr);

  EXPECT_EQ(fieldAt<uint32_t>(effect, 0), 0x56737450u) << "magic 'VstP'";
  EXPECT_EQ(fieldAt<int32_t>(effect, at(20, 40)), 2) << "numPrograms";
  EXPECT_EQ(fieldAt<int32_t>(effect, at(24, 44)), 8) << "numParams";
  EXPECT_EQ(fieldAt<int32_t>(effect, at(28, 48)), 2) << "numInputs";
  EXPECT_EQ(fieldAt<int32_t>(effect, at(32, 52)), 2) << "numOutputs";
  const int32_t flags = fieldAt<int32_t>(effect, at(36, 56));
  EXPECT_TRUE(flags == 16 || flags == 17) << "flags " << flags << ": replacing, maybe editor";
  for (size_t offset : {at(40, 64), at(44, 72)}) {
    EXPECT_EQ(fieldAt<intptr_t>(effect, offset), 0) << "reserved field at " << offset;
  }
  for (size_t offset : {at(48, 80), at(52, 84), at(56, 88)}) {
    EXPECT_EQ(fieldAt<int32_t>(effect, offset), 0) << "unused field at " << offset;
  }
  EXPECT_EQ(fieldAt<float>(effect, at(60, 92)), 1.0f) << "ioRatio";
  EXPECT_EQ(fieldAt<void*>(effect, at(64, 96)), effect->object) << "object";
  EXPECT_NE(effect->object, nullptr);
  EXPECT_EQ(fieldAt<void*>(effect, at(68, 104)), nullptr) << "user";
  EXPECT_EQ(fieldAt<uint32_t>(effect, at(72, 112)), 0x4D76517Au) << "uniqueID 'MvQz'";
  EXPECT_EQ(fieldAt<int32_t>(effect, at(76, 116)), 1) << "version";
  for (size_t offset : {at(4, 8), at(8, 16), at(12, 24), at(16, 32), at(80, 120)}) {
    EXPECT_NE(fieldAt<void*>(effect, offset), nullptr) << "function pointer at " << offset;
  }
  for (size_t offset = kReservedEntry; offset < kRecordSize; ++offset) {
    EXPECT_EQ(fieldAt<uint8_t>(effect, offset), 0) << "reserved byte " << offset;
  }
  EXPECT_EQ(host.close(effect), 1);
}

// Each function slot holds the entry its offset promises: called through the raw pointers,
// the dispatcher identifies the plug-in, the parameter pair round-trips a value, `process`
// copies inputs to outputs and `processReplacing` writes one signal to both outputs.
TEST_F(PluginTest, FunctionSlotsHoldTheirEntries) {
  AEffect* effect = instantiate();
  ASSERT_NE(effect, nullptr);
  auto dispatcher = fieldAt<RawDispatcher>(effect, at(4, 8));
  auto process = fieldAt<RawProcess>(effect, at(8, 16));
  auto setParameter = fieldAt<RawSetParameter>(effect, at(12, 24));
  auto getParameter = fieldAt<RawGetParameter>(effect, at(16, 32));
  auto processReplacing = fieldAt<RawProcess>(effect, at(80, 120));

  EXPECT_EQ(dispatcher(effect, effIdentify, 0, 0, nullptr, 0.0f), 0x4E764566) << "'NvEf'";
  EXPECT_FLOAT_EQ(getParameter(effect, kFilter), 0.4f);
  setParameter(effect, kFilter, 0.75f);
  EXPECT_FLOAT_EQ(getParameter(effect, kFilter), 0.75f);

  constexpr int kFrames = 256;
  float in1[kFrames], in2[kFrames], out1[kFrames], out2[kFrames];
  for (int i = 0; i < kFrames; ++i) {
    in1[i] = 0.5f * std::sin(0.05f * i);
    in2[i] = 0.5f * std::sin(0.31f * i + 1.0f);
    out1[i] = out2[i] = 9.0f;
  }
  float* inputs[] = {in1, in2};
  float* outputs[] = {out1, out2};
  float copy1[kFrames], copy2[kFrames];
  std::memcpy(copy1, in1, sizeof in1);
  std::memcpy(copy2, in2, sizeof in2);
  process(effect, inputs, outputs, kFrames);
  EXPECT_EQ(std::memcmp(out1, copy1, sizeof out1), 0) << "process copies input 1 to output 1";
  EXPECT_EQ(std::memcmp(out2, copy2, sizeof out2), 0) << "process copies input 2 to output 2";

  for (int i = 0; i < kFrames; ++i) out1[i] = 7.0f, out2[i] = -7.0f;
  processReplacing(effect, inputs, outputs, kFrames);
  bool anySound = false;
  for (int i = 0; i < kFrames; ++i) {
    ASSERT_EQ(out1[i], out2[i]) << "processReplacing writes one signal to both outputs, frame " << i;
    ASSERT_TRUE(std::isfinite(out1[i])) << "frame " << i;
    anySound = anySound || out1[i] != 0.0f;
  }
  EXPECT_TRUE(anySound) << "two sounding inputs give a sounding output";
  EXPECT_EQ(host.close(effect), 1);
}

// The editor bit and the editor opcodes tell the same story.
TEST_F(PluginTest, EditorFlagAgreesWithEditorRectangle) {
  AEffect* effect = instantiate();
  ASSERT_NE(effect, nullptr);
  void* rect = nullptr;
  const int32_t answer = dispatch(effect, effEditGetRect, 0, 0, &rect);
  if (effect->flags & effFlagsHasEditor) {
    EXPECT_NE(answer, 0) << "an effect with an editor answers effEditGetRect";
    EXPECT_NE(rect, nullptr) << "and hands out its rectangle";
  } else {
    EXPECT_EQ(answer, 0) << "an effect without an editor answers effEditGetRect with 0";
  }
  EXPECT_EQ(host.close(effect), 1);
}
