// The effect record as a host reads it: raw bytes at fixed offsets of the 144-byte record on the
// 32-bit platform, independent of how this project declares the record.

#include <cmath>
#include <cstring>

#include "tests/wine/plugin_test.h"

namespace {

template <typename T>
T fieldAt(const AEffect* effect, size_t offset) {
  T value;
  std::memcpy(&value, reinterpret_cast<const unsigned char*>(effect) + offset, sizeof value);
  return value;
}

using RawDispatcher = int32_t(__cdecl*)(AEffect*, int32_t, int32_t, int32_t, void*, float);
using RawProcess = void(__cdecl*)(AEffect*, float**, float**, int32_t);
using RawSetParameter = void(__cdecl*)(AEffect*, int32_t, float);
using RawGetParameter = float(__cdecl*)(AEffect*, int32_t);

constexpr size_t kRecordSize = 144;
constexpr size_t kFutureOffset = 84;

}  // namespace

TEST_F(PluginTest, RecordFieldsSitAtTheirByteOffsets) {
  AEffect* effect = instantiate();
  ASSERT_NE(effect, nullptr);

  EXPECT_EQ(fieldAt<uint32_t>(effect, 0), 0x56737450u) << "magic 'VstP'";
  EXPECT_EQ(fieldAt<int32_t>(effect, 20), 2) << "numPrograms";
  EXPECT_EQ(fieldAt<int32_t>(effect, 24), 8) << "numParams";
  EXPECT_EQ(fieldAt<int32_t>(effect, 28), 2) << "numInputs";
  EXPECT_EQ(fieldAt<int32_t>(effect, 32), 2) << "numOutputs";
  const int32_t flags = fieldAt<int32_t>(effect, 36);
  EXPECT_TRUE(flags == 16 || flags == 17) << "flags " << flags << ": replacing, maybe editor";
  for (size_t offset : {40u, 44u, 48u, 52u, 56u}) {
    EXPECT_EQ(fieldAt<int32_t>(effect, offset), 0) << "reserved or unused field at " << offset;
  }
  EXPECT_EQ(fieldAt<float>(effect, 60), 1.0f) << "ioRatio";
  EXPECT_NE(fieldAt<void*>(effect, 64), nullptr) << "object";
  EXPECT_EQ(fieldAt<void*>(effect, 68), nullptr) << "user";
  EXPECT_EQ(fieldAt<uint32_t>(effect, 72), 0x4D76517Au) << "uniqueID 'MvQz'";
  EXPECT_EQ(fieldAt<int32_t>(effect, 76), 1) << "version";
  for (size_t offset : {4u, 8u, 12u, 16u, 80u}) {
    EXPECT_NE(fieldAt<void*>(effect, offset), nullptr) << "function pointer at " << offset;
  }
  for (size_t offset = kFutureOffset; offset < kRecordSize; ++offset) {
    EXPECT_EQ(fieldAt<uint8_t>(effect, offset), 0) << "future byte " << offset;
  }
  EXPECT_EQ(host.close(effect), 1);
}

// Each function slot holds the entry its offset promises: called through the raw pointers,
// the dispatcher identifies the plug-in, the parameter pair round-trips a value, `process`
// copies inputs to outputs and `processReplacing` writes one signal to both outputs.
TEST_F(PluginTest, FunctionSlotsHoldTheirEntries) {
  AEffect* effect = instantiate();
  ASSERT_NE(effect, nullptr);
  auto dispatcher = fieldAt<RawDispatcher>(effect, 4);
  auto process = fieldAt<RawProcess>(effect, 8);
  auto setParameter = fieldAt<RawSetParameter>(effect, 12);
  auto getParameter = fieldAt<RawGetParameter>(effect, 16);
  auto processReplacing = fieldAt<RawProcess>(effect, 80);

  EXPECT_EQ(dispatcher(effect, effIdentify, 0, 0, nullptr, 0.0f), 0x4E764566) << "'NvEf'";
  EXPECT_FLOAT_EQ(getParameter(effect, 2), 0.4f);
  setParameter(effect, 2, 0.75f);
  EXPECT_FLOAT_EQ(getParameter(effect, 2), 0.75f);

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
