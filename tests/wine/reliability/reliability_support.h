#pragma once
// What the reliability programs share: buffers fenced by inaccessible pages, counts of what the
// process holds of the system (window objects, drawing objects, handles, memory), test signals
// and a plain render through the effect record.
//
// Figures: each program prints lines of the form "wine <part>: ..." (tools/test.sh collects
// them). Longer variants run when the environment variable MULCHVOICE_LONG is set to anything
// but "" or "0".

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/aeffect.h"

namespace reliability {

struct Signal;

// MULCHVOICE_LONG is set: run the longer variants.
bool longRun();

// Seconds on a steady clock.
double now();

// Prints a figure line to standard output at once (and flushes, so that it survives a crash
// that follows).
void figure(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Reports access violations and other faults with their address before the process ends,
// naming the fenced buffer whose guard page was hit. Installed once per process.
void installFaultReporter();

// Floats in a committed region between two PAGE_NOACCESS pages. A block of n floats is placed
// flush against the trailing guard (tail(n)); everything between the leading guard and the block
// holds a sentinel pattern that check() verifies, so that a write just before the block is
// seen and a read or write just after it faults.
class FencedFloats {
 public:
  static constexpr uint32_t kSentinel = 0x7FA5A5A5;  // a NaN: any sample left unwritten shows

  explicit FencedFloats(size_t capacity);
  ~FencedFloats();
  FencedFloats(const FencedFloats&) = delete;
  FencedFloats& operator=(const FencedFloats&) = delete;

  size_t capacity() const { return capacity_; }
  // The last n floats of the region (n <= capacity).
  float* tail(size_t n);
  // Writes the sentinel over the whole region, the block included.
  void paint();
  // True when every float before the block of n floats still holds the sentinel.
  bool slackIntact(size_t n) const;
  // True when the block of n floats still holds the sentinel everywhere (nothing was written).
  bool blockUntouched(size_t n) const;

 private:
  size_t capacity_;
  char* region_ = nullptr;
  size_t regionBytes_ = 0;
  float* first_ = nullptr;  // the first float after the leading guard
  float* end_ = nullptr;    // the trailing guard
};

// Two inputs and two outputs, each fenced, for one block of n frames at a time.
class FencedStereo {
 public:
  explicit FencedStereo(size_t capacity);

  // Paints all four regions and copies frames [first, first + n) of the signal (wrapping
  // around its end) into the input blocks.
  void load(const Signal& signal, size_t first, size_t n);
  float** inputs(size_t n);
  float** outputs(size_t n);
  // Nothing was written before any of the four blocks.
  bool slackIntact(size_t n) const;
  // Both output blocks were written throughout, with finite samples.
  bool outputsFinite(size_t n);
  // Both output blocks hold the same samples.
  bool outputsIdentical(size_t n);

  FencedFloats in1, in2, out1, out2;

 private:
  float* inputs_[2];
  float* outputs_[2];
};

// Bytes fenced the same way, for pointers handed to the dispatcher.
class FencedBytes {
 public:
  FencedBytes(size_t size, unsigned char fill);
  ~FencedBytes();
  FencedBytes(const FencedBytes&) = delete;
  FencedBytes& operator=(const FencedBytes&) = delete;

  char* data() { return data_; }
  size_t size() const { return size_; }
  void refill();
  // The pattern written before the data and between the leading guard and the data is intact.
  bool slackIntact() const;

 private:
  size_t size_;
  unsigned char fill_;
  char* region_ = nullptr;
  size_t regionBytes_ = 0;
  char* slack_ = nullptr;
  char* data_ = nullptr;
};

// What the process holds. Where the system answers GetGuiResources, GetProcessHandleCount and
// PROCESS_MEMORY_COUNTERS_EX::PrivateUsage those answers are used; where it does not (Wine
// answers 0 to all three) the same quantities are counted directly:
//   USER objects  - the windows of this process: top-level, child and message-only;
//   GDI objects   - the live, non-stock entries of the process's GDI handle table;
//   handles       - this process's entries in the system's handle list;
//   private bytes - committed private memory, summed over the address space (VirtualQuery).
// heapBytes counts the bytes of busy blocks in every heap of the process (HeapWalk): exact, and
// blind to fragmentation. tlsSlots counts the thread-local-storage slots in use (of the 1088 a
// process has), by taking every free one and giving them back.
struct Resources {
  long userObjects = 0;
  long gdiObjects = 0;
  long handles = 0;
  uint64_t privateBytes = 0;
  uint64_t heapBytes = 0;
  long tlsSlots = 0;
};

Resources measureResources();
// Which of the sources above are in use, for the figures.
std::string resourceSources();

// A pair of test inputs: speech-like (noise bursts shaped into syllables, with a few tones) on
// input 1 and a sawtooth chord carrier on input 2; full scale below 1.
struct Signal {
  std::vector<float> speech;
  std::vector<float> carrier;
};
Signal makeSignal(size_t frames, uint32_t seed);

// A small fast generator (xorshift128+), deterministic per seed.
class Random {
 public:
  explicit Random(uint64_t seed);
  uint64_t next();
  double uniform();                    // [0, 1)
  int32_t range(int32_t lo, int32_t hi);  // [lo, hi]

 private:
  uint64_t s0_, s1_;
};

// The result of rendering through processReplacing with separate input and output buffers.
struct Render {
  std::vector<float> out;  // output 1
  bool finite = true;      // every sample of both outputs was finite
  bool identical = true;   // both outputs carried the same samples
};

// Renders frames [first, first + frames) of the signal in blocks of blockSize (at most 3000).
Render render(AEffect* effect, const Signal& signal, size_t first, size_t frames, int blockSize);

// Root mean square of a range of samples.
double rms(const std::vector<float>& v, size_t first, size_t count);

// 10 log10 of the energy of (a - b) over the energy of b, over [first, first + count).
double differenceDb(const std::vector<float>& a, const std::vector<float>& b, size_t first,
                    size_t count);

int32_t dispatch(AEffect* effect, int32_t opcode, int32_t index = 0, int32_t value = 0,
                 void* ptr = nullptr, float opt = 0.0f);

// The parameters of the comparisons: the program defaults with the chopper gate bypassed.
void setComparisonParameters(AEffect* effect);

}  // namespace reliability
