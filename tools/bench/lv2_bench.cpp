// Speed of the LV2 plug-in, loaded through lilv from the build tree's bundle as a host loads it,
// beside the packaged peer vocoder (Debian's mda-lv2, its Vocoder at its defaults: eight bands)
// in the same run, with the same input signals as process_bench. tools/bench.sh builds and runs
// it (bash tools/bench.sh --lv2-only) and counts the instructions.
//
// Output: one line per case and block size, then for each block size the ratio of our time to
// the peer's, for example
//
//   RESULT name=lv2-gate-on block=512 ns_per_sample=11.4 rtf=1989.1 instr_per_sample=156.8
//   RESULT name=peer-mda-vocoder block=512 ns_per_sample=20.6 rtf=1100.7 instr_per_sample=241.3
//   RESULT name=lv2-gate-on-to-peer-mda-vocoder block=512 time_ratio=0.55
//
//   name             the case:
//                      lv2-gate-on        mulchvoice.lv2 at its port defaults (the gate on)
//                      lv2-gate-off       the same with the "mulch I/O" port at 0
//                      peer-mda-vocoder   the peer at its port defaults, the speech on its
//                                         first audio input and the carrier on its second, in
//                                         the order its description gives them
//   block            frames per run call (64, 256, 512 and 3000)
//   ns_per_sample    nanoseconds per sample frame, the median of 7 runs of two seconds of audio,
//                    each with instances of its own
//   rtf              real-time factor at 44100 Hz (1e9 / 44100 / ns_per_sample)
//   instr_per_sample appended by tools/bench.sh: instructions (callgrind's Ir) inside the
//                    plug-in's run, per frame, over one second after the warm-up
//   time_ratio       lv2-gate-on's time over the peer's: the median of the 7 ratios of runs
//                    made one right after the other, so that the machine's load moves both alike
//
// The cases take turns within each of the 7 runs (in alternating order), so a slow stretch of
// the machine falls on all of them. Each run copies the inputs into the host's buffers first,
// as a host does, for both plug-ins alike.
//
// With `--once <case> <block>` it renders the warm-up, resets callgrind's counts through its
// client request and renders about one second of the case, then prints
//   ONCE name=<case> block=<block> frames=<frames counted>
// for callgrind with --toggle-collect='*runPlugin*'.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "lv2/ports.h"
#include "tools/bench/bench_signals.h"
#include "tools/lv2host/lv2_host.h"

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define MULCHVOICE_BENCH_CALLGRIND 1
#endif

namespace {

constexpr double kSampleRate = 44100.0;
constexpr int kRunFrames = 2 * 44100;
constexpr int kRuns = 7;
constexpr int kOnceFrames = 44100;
constexpr int kBlocks[] = {64, 256, 512, 3000};
constexpr const char* kPeerUri = "http://drobilla.net/plugins/mda/Vocoder";

struct Case {
  const char* name;
  bool peer;     // the packaged peer instead of ours
  bool gateOff;  // ours with "mulch I/O" at 0
};

constexpr Case kCases[] = {
    {"lv2-gate-on", false, false},
    {"lv2-gate-off", false, true},
    {"peer-mda-vocoder", true, false},
};
constexpr int kOurs = 0;  // the case the ratio compares with the peer
constexpr int kPeer = 2;

const Case* findCase(const char* name) {
  for (const Case& c : kCases)
    if (std::strcmp(c.name, name) == 0) return &c;
  return nullptr;
}

struct Buffers {
  std::vector<float> in1, in2, out1, out2;
  explicit Buffers(int block) : in1(block), in2(block), out1(block), out2(block) {}
};

// The call callgrind collects in: everything the plug-in does for one block.
__attribute__((noinline)) void runPlugin(lv2host::Instance& instance, const float* const* in,
                                         float* const* out, uint32_t frames) {
  instance.run(in, out, frames);
}

// Renders `frames` frames of the input in blocks of `block`, copying each block into the
// input buffers first as a host does.
void render(lv2host::Instance& instance, const bench::Input& input, int block, int frames,
            Buffers& b) {
  const int length = static_cast<int>(input.speech.size());
  const float* in[2] = {b.in1.data(), b.in2.data()};
  float* out[2] = {b.out1.data(), b.out2.data()};
  for (int done = 0; done < frames; done += block) {
    const int offset = done % (length - block);
    std::memcpy(b.in1.data(), input.speech.data() + offset, sizeof(float) * block);
    std::memcpy(b.in2.data(), input.carrier.data() + offset, sizeof(float) * block);
    runPlugin(instance, in, out, static_cast<uint32_t>(block));
  }
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// An instance of a case, configured and warmed up with half a run of the input; every run
// has new ones, since a plug-in's speed may depend on where its instance happens to lie in
// memory (the peer's does: about one instance in eight runs three times slower).
struct Contender {
  std::unique_ptr<lv2host::Instance> instance;
  std::vector<double> nanosecondsPerFrame;
};

bool prepare(const Case& c, const lv2host::Plugin& ours, const lv2host::Plugin& peer, int block,
             const bench::Inputs& inputs, Buffers& b, Contender& contender) {
  contender.instance = std::make_unique<lv2host::Instance>(c.peer ? peer : ours, kSampleRate);
  if (contender.instance->get() == nullptr) {
    std::fprintf(stderr, "lv2_bench: %s did not instantiate\n", c.name);
    return false;
  }
  if (c.gateOff) contender.instance->control(kFirstControlPort + kMulchIO) = 0.0f;
  render(*contender.instance, inputs.normal, block, kRunFrames / 2, b);
  return true;
}

bool loaded(const lv2host::Plugin& plugin) {
  if (!plugin.error().empty()) {
    std::fprintf(stderr, "lv2_bench: %s\n", plugin.error().c_str());
    return false;
  }
  if (plugin.ports().audioInputs.size() != 2 || plugin.ports().audioOutputs.size() != 2) {
    std::fprintf(stderr, "lv2_bench: a plug-in without two audio inputs and two outputs\n");
    return false;
  }
  return true;
}

int usage() {
  std::fprintf(stderr,
               "usage: lv2_bench                       RESULT lines for every case and block\n"
               "       lv2_bench --once <case> <block> one second of one case, for callgrind\n"
               "cases: lv2-gate-on lv2-gate-off peer-mda-vocoder\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const Case* onceCase = nullptr;
  int onceBlock = 0;
  if (argc == 4 && std::strcmp(argv[1], "--once") == 0) {
    onceCase = findCase(argv[2]);
    onceBlock = std::atoi(argv[3]);
    if (onceCase == nullptr || onceBlock < 1 || onceBlock > kOnceFrames) return usage();
#ifndef MULCHVOICE_BENCH_CALLGRIND
    std::fprintf(stderr, "lv2_bench: built without valgrind/callgrind.h; install valgrind\n");
    return 1;
#endif
  } else if (argc != 1) {
    return usage();
  }

  // Ours from the build tree alone; the peer from the LV2 path, in a world of its own, so that
  // an installed copy of ours cannot stand in for the one built here.
  const lv2host::Plugin ours(kPluginUri, MULCHVOICE_LV2_BUNDLE);
  const lv2host::Plugin peer(kPeerUri, "");
  if (!loaded(ours) || !loaded(peer)) return 1;
  const bench::Inputs inputs;

  if (onceCase != nullptr) {
    Buffers b(onceBlock);
    Contender contender;
    if (!prepare(*onceCase, ours, peer, onceBlock, inputs, b, contender)) return 1;
    const int frames = (kOnceFrames / onceBlock) * onceBlock;
#ifdef MULCHVOICE_BENCH_CALLGRIND
    CALLGRIND_ZERO_STATS;
#endif
    render(*contender.instance, inputs.normal, onceBlock, frames, b);
    std::printf("ONCE name=%s block=%d frames=%d\n", onceCase->name, onceBlock, frames);
    return 0;
  }

  std::printf("# run of LV2 plug-ins loaded through lilv, taking turns: median of %d runs of %d "
              "frames\n",
              kRuns, kRunFrames);
  constexpr int kNumCases = static_cast<int>(std::size(kCases));
  for (const int block : kBlocks) {
    Buffers b(block);
    Contender contenders[kNumCases];
    const int frames = (kRunFrames / block) * block;
    std::vector<double> ratios;
    for (int run = 0; run < kRuns; ++run) {
      for (int i = 0; i < kNumCases; ++i)
        if (!prepare(kCases[i], ours, peer, block, inputs, b, contenders[i])) return 1;
      for (int turn = 0; turn < kNumCases; ++turn) {
        Contender& c = contenders[run % 2 == 0 ? turn : kNumCases - 1 - turn];
        const auto start = std::chrono::steady_clock::now();
        render(*c.instance, inputs.normal, block, frames, b);
        const auto stop = std::chrono::steady_clock::now();
        c.nanosecondsPerFrame.push_back(
            std::chrono::duration<double, std::nano>(stop - start).count() / frames);
      }
      ratios.push_back(contenders[kOurs].nanosecondsPerFrame.back() /
                       contenders[kPeer].nanosecondsPerFrame.back());
    }
    for (int i = 0; i < kNumCases; ++i) {
      const double ns = median(contenders[i].nanosecondsPerFrame);
      std::printf("RESULT name=%s block=%d ns_per_sample=%.1f rtf=%.1f\n", kCases[i].name, block,
                  ns, 1e9 / kSampleRate / ns);
    }
    std::printf("RESULT name=%s-to-%s block=%d time_ratio=%.2f\n", kCases[kOurs].name,
                kCases[kPeer].name, block, median(ratios));
    std::fflush(stdout);
  }
  return 0;
}
