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

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "lv2/ports.h"
#include "tools/bench/bench_common.h"
#include "tools/lv2host/lv2_host.h"

namespace {

using bench::Buffers;
using bench::kRunFrames;

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

// The call callgrind collects in: everything the plug-in does for one block.
__attribute__((noinline)) void runPlugin(lv2host::Instance& instance, const float* const* in,
                                         float* const* out, uint32_t frames) {
  instance.run(in, out, frames);
}

// Renders `frames` frames of the input in blocks of `block`, as bench::render says.
void render(lv2host::Instance& instance, const bench::Input& input, int block, int frames,
            Buffers& b) {
  bench::render(input, block, frames, b, [&instance](Buffers& buffers, int n) {
    runPlugin(instance, buffers.inputs, buffers.outputs, static_cast<uint32_t>(n));
  });
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
  contender.instance =
      std::make_unique<lv2host::Instance>(c.peer ? peer : ours, bench::kSampleRate);
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
    if (onceCase == nullptr || onceBlock < 1 || onceBlock > bench::kOnceFrames) return usage();
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
    const int frames = (bench::kOnceFrames / onceBlock) * onceBlock;
    bench::zeroInstructionCounts();
    render(*contender.instance, inputs.normal, onceBlock, frames, b);
    std::printf("ONCE name=%s block=%d frames=%d\n", onceCase->name, onceBlock, frames);
    return 0;
  }

  std::printf("# run of LV2 plug-ins loaded through lilv, taking turns: median of %d runs of %d "
              "frames\n",
              bench::kRuns, kRunFrames);
  constexpr int kNumCases = static_cast<int>(std::size(kCases));
  for (const int block : bench::kBlocks) {
    Buffers b(block);
    Contender contenders[kNumCases];
    const int frames = (kRunFrames / block) * block;
    std::vector<double> ratios;
    for (int run = 0; run < bench::kRuns; ++run) {
      for (int i = 0; i < kNumCases; ++i)
        if (!prepare(kCases[i], ours, peer, block, inputs, b, contenders[i])) return 1;
      for (int turn = 0; turn < kNumCases; ++turn) {
        Contender& c = contenders[run % 2 == 0 ? turn : kNumCases - 1 - turn];
        c.nanosecondsPerFrame.push_back(bench::nanosecondsPerFrame(
            frames, [&] { render(*c.instance, inputs.normal, block, frames, b); }));
      }
      ratios.push_back(contenders[kOurs].nanosecondsPerFrame.back() /
                       contenders[kPeer].nanosecondsPerFrame.back());
    }
    for (int i = 0; i < kNumCases; ++i)
      bench::printResult(kCases[i].name, block, bench::median(contenders[i].nanosecondsPerFrame));
    std::printf("RESULT name=%s-to-%s block=%d time_ratio=%.2f\n", kCases[kOurs].name,
                kCases[kPeer].name, block, bench::median(ratios));
    std::fflush(stdout);
  }
  return 0;
}
