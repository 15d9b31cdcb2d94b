// Fuzz target: effects driven through their record the way a careless or hostile host might:
// any opcode with any arguments, any parameter value, blocks of any length (negative ones
// too) over inputs holding any float, outputs that alias the inputs, an editor attached and
// detached. After every call it checks what must hold whatever the host does:
//   - the band and gate states stay finite and the gate counts stay in range;
//   - a processing call writes every output frame it should, both outputs alike, and touches
//     nothing outside its frames (every buffer is allocated to the exact frame count, so
//     AddressSanitizer reports any access beyond it);
//   - a text written through `ptr` is terminated within its size (program name 24 bytes,
//     parameter texts 9) and nothing else is written through `ptr`;
//   - values, the current program and the names read back as the host set them;
//   - every parameter change asks the editor for a refresh, and the next idle call delivers it;
//   - the record keeps its fields, and the floating-point control register and the C locale
//     are the same after every call as before.
// Every instance ends with effClose; an input that closes midway goes on with a fresh one.
//
// Input layout (reads past the end yield zeros):
//   byte 0      host floating-point mode: bits 0-1 rounding, bit 2 flush-to-zero,
//               bit 3 denormals-are-zero
//   then calls, each a selector byte (value mod 8) and its operands:
//   0 dispatcher   opcode (byte < 232: byte mod 23, else int16 mod 1001, -1000 to 1000),
//                  index, value, opt (float), ptr mode (null, exact-size buffer, roomy buffer)
//                  and, for a text the host passes, its length and characters
//   1 setParameter index, float
//   2 getParameter index
//   3 processReplacing   frames, wiring, input 1 fill, input 2 fill
//   4 process            same operands
//   5 editor detached if attached, attached if not
//   6 all eight parameters: eight floats
//   7 dispatcher with an opcode of the whole range: int16 mod 1001, then as 0
// A float operand is a byte below 128 choosing a value from a table of awkward ones, or a
// byte of 128 or more followed by four bytes of raw bits.

#include <xmmintrin.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "engine/band_filter.h"
#include "vst/vocoder.h"
#include "host/aeff_editor.h"
#include "host/aeffect.h"
#include "host/plugin_main.h"

namespace {

void expect(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "vocoder_fuzzer: fault: %s\n", what);
  std::abort();
}

uint32_t bitsOf(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits;
}

float floatOf(uint32_t bits) {
  float v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

// VOCODER_FUZZ_TRACE=1 in the environment prints every call, to read a reproducer by.
const bool kTrace = std::getenv("VOCODER_FUZZ_TRACE") != nullptr;

void trace(const char* format, ...) {
  if (!kTrace) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
}

bool sameFloat(float a, float b) { return bitsOf(a) == bitsOf(b) || (std::isnan(a) && std::isnan(b)); }

// Output buffers start out holding this NaN; a frame still holding it was never written. The
// fuzzer never produces a float that arithmetic could turn into it (either sign, quieted or
// not), so a written frame can never look unwritten.
constexpr uint32_t kSentinelBits = 0x7FD5A5A5;
constexpr uint32_t kQuietBit = 0x00400000;
constexpr uint32_t kSignBit = 0x80000000;

float avoidSentinel(float v) {
  const uint32_t bits = bitsOf(v);
  if (((bits | kQuietBit) & ~kSignBit) == kSentinelBits) return floatOf(bits ^ 1u);
  return v;
}

const float kAwkwardFloats[] = {
    0.0f,    -0.0f,        1.0f,     0.5f,       0.1f,      0.4f,      0.3f,
    0.999f,  1.0000001f,   1.5f,     -0.25f,     -1.0f,     2.0f,      1e30f,
    -1e30f,  FLT_MAX,      -FLT_MAX, FLT_MIN,    1e-45f,    -1e-40f,   1e-11f,
    9.9e-12f, NAN,         -NAN,     INFINITY,   -INFINITY, 44100.0f,  3000.0f,
    1e-3f,   -0.0018140589f /* makes the envelope smoother divide by zero */,
    floatOf(0x7F800001) /* signalling NaN */, 0.75f, 0.25f, 1e-20f, 65536.0f};
constexpr size_t kNumAwkward = sizeof kAwkwardFloats / sizeof kAwkwardFloats[0];

// Reads the fuzz input front to back; past its end every read yields zeros.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool done() const { return pos_ >= size_; }
  uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint16_t u16() {
    const uint16_t low = byte();
    return static_cast<uint16_t>(low | (byte() << 8));
  }
  uint32_t u32() {
    const uint32_t low = u16();
    return low | (static_cast<uint32_t>(u16()) << 16);
  }
  int32_t i32() { return static_cast<int32_t>(u32()); }
  float anyFloat() {
    const uint8_t choice = byte();
    if (choice < 128) return avoidSentinel(kAwkwardFloats[choice % kNumAwkward]);
    return avoidSentinel(floatOf(u32()));
  }
  // Small numbers around the valid range most of the time, any 32-bit number otherwise.
  int32_t anyIndex() {
    const uint8_t choice = byte();
    if (choice < 192) return static_cast<int32_t>(choice % 12) - 2;  // -2 to 9
    return i32();
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// The host side of the floating-point environment and the locale: neither may change across
// a call into the plug-in. Only the control bits of MXCSR count; the status flags are sticky
// results of arithmetic.
constexpr unsigned kMxcsrControlMask = ~0x3Fu;
constexpr unsigned kMxcsrDefault = 0x1F80;

class EnvironmentCheck {
 public:
  EnvironmentCheck() : csr_(_mm_getcsr() & kMxcsrControlMask) {
    std::snprintf(locale_, sizeof locale_, "%s", std::setlocale(LC_ALL, nullptr));
  }
  ~EnvironmentCheck() {
    expect((_mm_getcsr() & kMxcsrControlMask) == csr_,
           "a call changed the floating-point control register");
    expect(std::strcmp(std::setlocale(LC_ALL, nullptr), locale_) == 0, "a call changed the locale");
  }

 private:
  unsigned csr_;
  char locale_[256];
};

intptr_t VSTCALL hostCallback(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

void noNotice() {}

AudioEffect* createVocoder(audioMasterCallback audioMaster) {
  return new (std::nothrow) Vocoder(audioMaster);
}

// An editor that counts the refresh protocol and answers the editor opcodes without touching a
// window. Its rectangle pointer is what effEditGetRect writes through `ptr`.
class FuzzEditor : public AEffEditor {
 public:
  explicit FuzzEditor(AudioEffect* effect) : AEffEditor(effect) {}
  void update() override { ++updates; }
  void postUpdate() override {
    ++posts;
    AEffEditor::postUpdate();
  }
  int32_t getRect(ERect** rect) override {
    *rect = &rect_;
    return 1;
  }
  int32_t open(void* parent) override {
    AEffEditor::open(parent);
    return 1;
  }

  uint64_t posts = 0;
  uint64_t updates = 0;
  uint64_t postsAtLastIdle = 0;

 private:
  ERect rect_ = {0, 0, 161, 479};
};

// What the host expects to read back: the programs' values and names and the current program.
struct HostModel {
  HostModel() {
    for (auto& program : values)
      for (int32_t i = 0; i < kNumParams; ++i) program[i] = kParameterTable[i].defaultValue;
    for (auto& name : names) name = "Smooth Mulch";
    load(0);
  }
  static float clampedWidth(float v) {
    if (v > 1.0f) return 1.0f;
    if (!(v >= 0.0f)) return 0.0f;
    return v;
  }
  void set(int32_t index, float value) {
    if (index < 0 || index >= kNumParams) return;
    values[program][index] = value;
    current[index] = index == kFilter ? clampedWidth(value) : value;
  }
  void load(int32_t p) {
    program = p;
    for (int32_t i = 0; i < kNumParams; ++i) set(i, values[p][i]);
  }

  float values[kNumPrograms][kNumParams];
  float current[kNumParams];
  std::string names[kNumPrograms];
  int32_t program = 0;
};

// Where `ptr` points, and how much of it a call may write.
int32_t writeLimit(int32_t opcode) {
  switch (opcode) {
    case effGetProgramName: return kProgramNameSize;
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName: return 9;
    case effEditGetRect: return static_cast<int32_t>(sizeof(ERect*));
    default: return 0;
  }
}

bool writesText(int32_t opcode) {
  return opcode == effGetProgramName || opcode == effGetParamLabel ||
         opcode == effGetParamDisplay || opcode == effGetParamName;
}

constexpr int32_t kRoomyBuffer = 256;
constexpr int kMaxCalls = 400;
constexpr int64_t kFrameBudget = 1 << 14;  // frames vocoded per input, to keep runs short

enum Wiring : uint8_t {
  kSeparate,      // in {A, B}, out {C, D}
  kInPlace,       // in {A, B}, out {A, B}
  kCrossed,       // in {A, B}, out {B, A}
  kSharedInput,   // in {A, A}, out {C, D}
  kSharedOutput,  // in {A, B}, out {C, C}
  kOneBuffer,     // in {A, A}, out {A, A}
  kNullArray,     // inputs or outputs null
  kNullChannel,   // one of the four channel pointers null
  kNumWirings
};

// The buffer each channel pointer uses (0 to 3 for A to D), per wiring.
constexpr int kWiringTable[kNullArray][4] = {
    {0, 1, 2, 3}, {0, 1, 0, 1}, {0, 1, 1, 0}, {0, 0, 2, 3}, {0, 1, 2, 2}, {0, 0, 0, 0}};

class Session {
 public:
  explicit Session(Input& in) : in_(in) {}

  void run() {
    open();
    for (int calls = 0; calls < kMaxCalls && !in_.done(); ++calls) {
      const uint8_t selector = in_.byte();
      switch (selector % 8) {
        case 0: {
          const uint8_t choice = in_.byte();
          dispatch(choice < 232 ? choice % 23 : static_cast<int16_t>(in_.u16()) % 1001);
          break;
        }
        case 1: {
          const int32_t index = in_.anyIndex();
          setParameter(index, in_.anyFloat());
          break;
        }
        case 2: getParameter(in_.anyIndex()); break;
        case 3: processCall(true); break;
        case 4: processCall(false); break;
        case 5: toggleEditor(); break;
        case 6:
          for (int32_t i = 0; i < kNumParams; ++i) setParameter(i, in_.anyFloat());
          break;
        case 7: dispatch(static_cast<int16_t>(in_.u16()) % 1001); break;
      }
      checkInvariants();
    }
    close();
  }

 private:
  void open() {
    trace("main");
    EnvironmentCheck env;
    effect_ = instantiateEffect(hostCallback, noNotice, createVocoder);
    expect(effect_ != nullptr, "instantiation failed");
    vocoder_ = static_cast<Vocoder*>(static_cast<AudioEffect*>(effect_->object));
    editor_ = nullptr;
    toggleEditor();
    model_ = HostModel();
    checkInvariants();
  }

  void close() {
    trace("dispatcher effClose");
    int32_t answer;
    {
      EnvironmentCheck env;
      answer = effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f);
    }
    expect(answer == 1, "effClose must answer 1");
    effect_ = nullptr;
    vocoder_ = nullptr;
    editor_ = nullptr;
  }

  void toggleEditor() {
    trace(editor_ != nullptr ? "editor detached" : "editor attached");
    if (editor_ != nullptr) {
      vocoder_->setEditor(nullptr);
      delete editor_;
      editor_ = nullptr;
    } else {
      editor_ = new FuzzEditor(vocoder_);
      vocoder_->setEditor(editor_);
    }
  }

  void setParameter(int32_t index, float value) {
    trace("setParameter %d %g (0x%08x)", index, value, bitsOf(value));
    const uint64_t posts = editor_ != nullptr ? editor_->posts : 0;
    {
      EnvironmentCheck env;
      effect_->setParameter(effect_, index, value);
    }
    model_.set(index, value);
    if (editor_ != nullptr) expect(editor_->posts > posts, "setParameter asked for no refresh");
  }

  void getParameter(int32_t index) {
    float value;
    {
      EnvironmentCheck env;
      value = effect_->getParameter(effect_, index);
    }
    trace("getParameter %d -> %g", index, value);
    const float expected = index >= 0 && index < kNumParams ? model_.current[index] : 0.0f;
    expect(sameFloat(value, expected), "getParameter differs from what was set");
  }

  void dispatch(int32_t opcode) {
    const int32_t index = in_.anyIndex();
    const int32_t value = in_.anyIndex();
    const float opt = in_.anyFloat();
    const uint8_t ptrMode = in_.byte() % 3;

    // The buffer `ptr` points to: none, one of exactly the size the call may use, or a roomy
    // one whose bytes beyond that size must come back unchanged.
    std::unique_ptr<char[]> buffer;
    std::vector<char> before;
    int32_t size = 0;
    const int32_t limit = writeLimit(opcode);
    if (ptrMode == 1 && opcode == effSetProgramName) {
      const int32_t length = in_.byte() % 48;  // longer than a name can hold, sometimes
      size = length + 1;
      buffer.reset(new char[size]);
      for (int32_t i = 0; i < length; ++i) buffer[i] = static_cast<char>(in_.byte() % 255 + 1);
      buffer[length] = '\0';
    } else if (ptrMode == 1) {
      size = limit > 0 ? limit : 1;
      buffer.reset(new char[size]);
      std::memset(buffer.get(), 0xA5, static_cast<size_t>(size));
    } else if (ptrMode == 2) {
      size = kRoomyBuffer;
      buffer.reset(new char[size]);
      const int32_t given = in_.byte() % 64;
      for (int32_t i = 0; i < size; ++i)
        buffer[i] = i < given ? static_cast<char>(in_.byte()) : static_cast<char>(0xA5 ^ i);
      buffer[size - 1] = '\0';
    }
    if (buffer) before.assign(buffer.get(), buffer.get() + size);
    void* ptr = buffer.get();

    if (opcode == effClose) {
      close();
      open();
      return;
    }

    const uint64_t posts = editor_ != nullptr ? editor_->posts : 0;
    const uint64_t updates = editor_ != nullptr ? editor_->updates : 0;
    int32_t answer;
    {
      EnvironmentCheck env;
      answer = effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
    }
    trace("dispatcher %d index %d value %d opt %g ptr %s (%d bytes) -> %d", opcode, index, value,
          opt, ptr ? "buffer" : "null", size, answer);

    if (buffer) {
      const int32_t kept = limit < size ? limit : size;
      expect(std::memcmp(buffer.get() + kept, before.data() + kept,
                         static_cast<size_t>(size - kept)) == 0,
             "a call wrote through ptr beyond what it may write");
      if (writesText(opcode))
        expect(std::memchr(buffer.get(), '\0', static_cast<size_t>(kept)) != nullptr,
               "a text is not terminated within its size");
    }

    if (opcode < 0 || opcode > effIdentify) expect(answer == 0, "an unknown opcode answered");
    if (opcode >= effEditGetRect && opcode <= effEditSleep && editor_ == nullptr)
      expect(answer == 0, "an editor opcode without editor answered");
    switch (opcode) {
      case effSetProgram:
        if (value == 0 || value == 1) {
          model_.load(value);
          if (editor_ != nullptr) expect(editor_->posts > posts, "setProgram asked for no refresh");
        }
        break;
      case effGetProgram: expect(answer == model_.program, "effGetProgram answers another program"); break;
      case effSetProgramName:
        if (ptr != nullptr) model_.names[model_.program] = std::string(buffer.get()).substr(0, 23);
        break;
      case effGetProgramName:
        if (ptr != nullptr)
          expect(model_.names[model_.program] == buffer.get(), "effGetProgramName answers another name");
        break;
      case effGetVu: expect(answer == 0, "effGetVu must answer 0"); break;
      case effIdentify: expect(answer == kIdentifyAnswer, "effIdentify answers wrongly"); break;
      case effEditIdle:
        if (editor_ != nullptr) {
          const bool pending = posts != editor_->postsAtLastIdle;
          expect(editor_->updates == updates + (pending ? 1 : 0),
                 pending ? "an idle call after a refresh request did not update"
                         : "an idle call updated with no refresh pending");
          editor_->postsAtLastIdle = editor_->posts;
        }
        break;
      default: break;
    }
  }

  void fill(float* x, int32_t n) {
    switch (in_.byte() % 6) {
      case 0:
        for (int32_t k = 0; k < n; ++k) x[k] = 0.0f;
        break;
      case 1: {
        const float v = in_.anyFloat();
        for (int32_t k = 0; k < n; ++k) x[k] = v;
        break;
      }
      case 2:
      case 5: {
        uint32_t state = in_.u32() | 1u;
        const float amplitude = in_.anyFloat();
        for (int32_t k = 0; k < n; ++k) {
          state = state * 1664525u + 1013904223u;
          const float uniform = static_cast<float>(state >> 8) * (2.0f / 16777216.0f) - 1.0f;
          x[k] = avoidSentinel(amplitude * uniform);
        }
        const int sprinkled = in_.byte() % 8;
        for (int i = 0; i < sprinkled && n > 0; ++i) {
          const int32_t at = in_.u16() % n;
          x[at] = in_.anyFloat();
        }
        break;
      }
      case 3: {
        const double step = (in_.byte() + 1) * 0.01;
        const float amplitude = in_.anyFloat();
        for (int32_t k = 0; k < n; ++k)
          x[k] = avoidSentinel(amplitude * static_cast<float>(std::sin(step * k)));
        break;
      }
      case 4: {
        float pattern[64];
        const int count = in_.byte() % 64 + 1;
        for (int i = 0; i < count; ++i) pattern[i] = in_.anyFloat();
        for (int32_t k = 0; k < n; ++k) x[k] = pattern[k % count];
        break;
      }
    }
  }

  int32_t pickFrames(bool replacing) {
    int32_t frames = 0;
    switch (in_.byte() % 8) {
      case 0: frames = in_.byte(); break;
      case 1: frames = in_.u16() % 3001; break;
      case 2: frames = 2995 + in_.byte() % 11; break;            // around the work buffer's end
      case 3: {  // one or two work buffers, give or take a frame
        const int32_t buffers = 1 + in_.byte() % 2;
        frames = 3000 * buffers + in_.byte() % 3 - 1;
        break;
      }
      case 4: frames = in_.u16() % 7001; break;
      case 5: frames = -1 - static_cast<int32_t>(in_.u16()); break;
      case 6: frames = in_.byte() % 2 ? INT32_MIN : -1; break;
      case 7: frames = 1 + in_.byte() % 16; break;
    }
    if (!replacing) return frames;  // copying costs little
    if (frames > framesLeft_) frames = static_cast<int32_t>(framesLeft_);
    if (frames > 0) framesLeft_ -= frames;
    return frames;
  }

  void processCall(bool replacing) {
    const int32_t frames = pickFrames(replacing);
    const uint8_t wiring = in_.byte() % kNumWirings;
    const uint8_t which = in_.byte();
    const int32_t n = frames > 0 ? frames : 0;

    // Four buffers of exactly n frames: A and B carry the inputs, C and D start unwritten.
    std::unique_ptr<float[]> buffers[4];
    for (auto& b : buffers) b.reset(new float[static_cast<size_t>(n)]);
    fill(buffers[0].get(), n);
    fill(buffers[1].get(), n);
    for (int b = 2; b < 4; ++b)
      for (int32_t k = 0; k < n; ++k) buffers[b][k] = floatOf(kSentinelBits);

    float* channels[4];
    const int* use = kWiringTable[wiring < kNullArray ? wiring : kSeparate];
    for (int c = 0; c < 4; ++c) channels[c] = buffers[use[c]].get();
    if (wiring == kNullChannel) channels[which % 4] = nullptr;
    float* inputs[2] = {channels[0], channels[1]};
    float* outputs[2] = {channels[2], channels[3]};
    float** inputArg = inputs;
    float** outputArg = outputs;
    if (wiring == kNullArray) (which & 1 ? inputArg : outputArg) = nullptr;

    trace("%s %d frames, wiring %d/%d", replacing ? "processReplacing" : "process", frames,
          wiring, which);
    std::vector<std::vector<float>> model;
    if (!replacing)
      for (const auto& b : buffers) model.emplace_back(b.get(), b.get() + n);

    {
      EnvironmentCheck env;
      if (replacing)
        effect_->processReplacing(effect_, inputArg, outputArg, frames);
      else
        effect_->process(effect_, inputArg, outputArg, frames);
    }

    if (wiring >= kNullArray) return;  // a call with null pointers has only to be survived
    const bool outputsApart = use[2] > 1 && use[3] > 1;
    if (!replacing) {
      // process copies input 1 to output 1, then input 2 to output 2, and does nothing else.
      if (frames > 0) {
        model[use[2]] = model[use[0]];
        model[use[3]] = model[use[1]];
      }
      for (int b = 0; b < 4; ++b)
        for (int32_t k = 0; k < n; ++k)
          expect(bitsOf(buffers[b][k]) == bitsOf(model[b][k]), "process did not copy its inputs");
      return;
    }
    for (int32_t k = 0; k < n; ++k) {
      expect(bitsOf(outputs[0][k]) == bitsOf(outputs[1][k]), "the two outputs differ");
      if (outputsApart)
        expect(bitsOf(outputs[0][k]) != kSentinelBits, "an output frame was left unwritten");
    }
  }

  void checkInvariants() {
    const AEffect& e = *effect_;
    expect(e.magic == kEffectMagic && e.numPrograms == kNumPrograms && e.numParams == kNumParams &&
               e.numInputs == 2 && e.numOutputs == 2 && e.uniqueID == fourCharCode('M', 'v', 'Q', 'z') &&
               e.object == static_cast<AudioEffect*>(vocoder_) && e.version == 1 && e.ioRatio == 1.0f,
           "the effect record changed");
    expect(e.flags == (effFlagsCanReplacing | (editor_ != nullptr ? effFlagsHasEditor : 0)),
           "the record's flags do not match the editor");

    const ChannelVocoder& core = vocoder_->engine();
    for (int32_t band = 1; band <= kNumBands; ++band) {
      BandFilter r;
      core.getBand(band, r);
      const float values[] = {r.b1, r.b2, r.a0, r.a1, r.speechZ1, r.speechZ2, r.carrierZ1, r.carrierZ2, r.envZ1};
      for (float v : values) expect(std::isfinite(v), "a band coefficient or state is not finite");
    }
    expect(std::isfinite(core.gate().smootherState()), "the gate state is not finite");
    const int32_t half = core.gate().halfPeriod();
    const int32_t countdown = core.gate().countdown();
    expect(half >= 1 && half <= 44100, "the gate half-period is out of range");
    expect(countdown >= 1 && countdown <= 44100, "the gate countdown is out of range");
  }

  Input& in_;
  AEffect* effect_ = nullptr;
  Vocoder* vocoder_ = nullptr;
  FuzzEditor* editor_ = nullptr;
  HostModel model_;
  int64_t framesLeft_ = kFrameBudget;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const uint8_t mode = in.byte();
  const unsigned rounding = (mode & 3u) << 13;
  const unsigned flushToZero = mode & 4u ? 0x8000u : 0u;
  const unsigned denormalsAreZero = mode & 8u ? 0x0040u : 0u;
  _mm_setcsr(kMxcsrDefault | rounding | flushToZero | denormalsAreZero);
  Session(in).run();
  _mm_setcsr(kMxcsrDefault);
  return 0;
}
