// Speed of the vocoder's processReplacing, driven through the effect record as a host drives it.
// The one command that builds both builds, runs them and counts instructions is
//
//   bash tools/bench.sh                  (--native-only or --dll-only for one build)
//
// Output: one line per case and block size, for example
//
//   RESULT name=native-avx2-gate-on block=512 ns_per_sample=6.7 rtf=3396.9 instr_per_sample=67.2
//
//   name             the build ("native": the effect object linked in; "native-8reg": the same
//                    built to use only xmm0 to xmm7, as 32-bit code must; "dll": MULCHVOICE.dll
//                    loaded through its `main` by the 32-bit build, under Wine), the band kernel
//                    ("sse2", "avx" or "avx2", pinned through MULCHVOICE_KERNEL before the effect
//                    is made; only kernels the processor runs) and the case:
//                      gate-on             the default program, whose chopper gate is on
//                      gate-off            the default program with "mulch I/O" (the gate) at 0
//                      silence-after-loud  the default program, both inputs silent after two
//                                          seconds of loud speech-like and carrier input: only
//                                          the silent stretch is timed, so a cost that appears
//                                          while the states decay towards zero shows here
//                      band-by-band-gate-on, band-by-band-gate-off  (native only, no kernel
//                                          in the name) the same as gate-on and gate-off with
//                                          the processing replaced by
//                                          the band-by-band form in tests/fixtures, one band
//                                          over the whole block after another: the speed before
//                                          the bands ran side by side, measured in the same run
//   block            frames per processReplacing call (64, 256, 512 and 3000)
//   ns_per_sample    nanoseconds per sample frame, the median of 7 runs of two seconds of audio
//                    (each silence-after-loud run is primed with two loud seconds first, untimed)
//   rtf              real-time factor at 44100 Hz: how many times faster than real time one
//                    instance runs (1e9 / 44100 / ns_per_sample)
//   instr_per_sample native lines only, appended by tools/bench.sh: instructions (callgrind's
//                    Ir) inside Vocoder::processReplacing (BandByBandEffect::processReplacing
//                    for the band-by-band cases) per sample frame, over one second of the case
//                    after the same warm-up or loud priming as the timed runs
//   speculative_pct  native lines only, appended by tools/bench.sh, over the same second: the
//   fallback_pct     share of the band kernel's stretches of 64 samples that it ran
//                    speculatively, without the flush of every state, and the share that it had
//                    to run again with the flush, because a state left the flush's range
//                    (engine/stretch_runner.h)
//   guest_instr_per_sample  on the dll-qemu-<kernel>-<case> lines (block 512), appended by
//                    tools/bench.sh: the DLL's own instructions as qemu-i386 executes them, per
//                    frame rendered, warm-up or loud priming included
//
// Under Wine the DLL runs in an emulated 32-bit processor on some machines, so its figures
// compare cases and block sizes with each other, not with the native ones. The timings are
// medians but still move with the machine's load; the instruction counts do not.
//
// By hand, the native program (build/bench-native/tools/bench/process_bench) prints the RESULT
// lines without instr_per_sample. `--list` prints what may follow the build in a name, one to a
// line (avx-gate-on, ...; band-by-band-gate-on, ...), for the kernels this processor runs;
// `--time <name> <block>` prints the RESULT line of one of them, so that tools/bench.sh can time
// two builds alternately. With `--once <name> <block>` it renders the warm-up (for
// silence-after-loud the loud priming), resets callgrind's counts through its client request
// and renders about one second of the case, then prints
//   ONCE name=native-<name> block=<block> frames=<frames counted> rendered=<all frames rendered>
//        stretches=<run> speculated=<of those> fell_back=<of those>
// (the stretches natively only, where the engine's counts can be read).
// for example, one command:
//   valgrind --tool=callgrind --callgrind-out-file=bench.callgrind
//       --toggle-collect='Vocoder::processReplacing*' process_bench --once avx-gate-on 512
// Ir on the `totals:` line of bench.callgrind divided by the frames is instr_per_sample.
//
// The gate-on and gate-off lines differ by what the chopper gate costs, including any slow
// arithmetic on subnormal numbers while its smoothed gain decays in an off phase; the
// silence-after-loud lines show the same for the band filters and envelopes. A subnormal cost
// shows in the timings only: the instruction count stays the same.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/band_kernel_choice.h"
#include "engine/parameters.h"
#include "host/aeffect.h"
#include "tools/bench/bench_common.h"

#ifdef _WIN32
#include "tools/testhost/plugin_host.h"
#else
#include "tests/fixtures/band_by_band_vocoder.h"
#include "vst/vocoder.h"
#endif

namespace {

using bench::Buffers;
using bench::Input;
using bench::Inputs;
using bench::kRunFrames;

#if defined(_WIN64)
constexpr const char* kBuild = "dll64";
#elif defined(_WIN32)
constexpr const char* kBuild = "dll";
#elif defined(MULCHVOICE_BENCH_8REG)
constexpr const char* kBuild = "native-8reg";
#else
constexpr const char* kBuild = "native";
#endif


struct Case {
  const char* name;
  bool gateOff;           // the gate parameter, kMulchIO, set to 0
  bool silenceAfterLoud;  // loud priming, then silent inputs
  bool bandByBand;        // natively only: the plain form the tests hold the plug-in against
};

constexpr Case kCases[] = {
    {"gate-on", false, false, false},
    {"gate-off", true, false, false},
    {"silence-after-loud", false, true, false},
#ifndef _WIN32
    {"band-by-band-gate-on", false, false, true},
    {"band-by-band-gate-off", true, false, true},
#endif
};

#ifndef _WIN32
// The effect with its processing replaced by the band-by-band form of the tests, which is what
// the plug-in computed before its bands ran side by side: the "before" of the same run.
class BandByBandEffect : public Vocoder {
 public:
  BandByBandEffect() : Vocoder(nullptr), model_(engine()) {}
  void processReplacing(float** inputs, float** outputs, int32_t sampleFrames) override {
    model_.processReplacing(engine(), inputs, outputs, sampleFrames);
  }

 private:
  reference::BandByBandVocoder model_;
};
#endif

// The band kernel's stretches so far, as the engine counts them (band_kernel.h): natively only,
// -1 where they cannot be seen.
struct Stretches {
  long long run, speculated, fellBack;
};

// A case as run: the case and, for the plug-in's own cases, the kernel pinned for it.
struct Run {
  const Case* c;
  const char* kernel;  // null for the band-by-band cases
  std::string name() const {
    return kernel != nullptr ? std::string(kernel) + "-" + c->name : c->name;
  }
};

// Every case with every kernel this processor runs, then the band-by-band cases.
std::vector<Run> allRuns() {
  std::vector<const char*> kernels;
  for (BandKernelKind kind : kAllBandKernels)
    if (processorRuns(kind)) kernels.push_back(bandKernelName(kind));
  std::vector<Run> runs;
  for (const char* kernel : kernels)
    for (const Case& c : kCases)
      if (!c.bandByBand) runs.push_back({&c, kernel});
  for (const Case& c : kCases)
    if (c.bandByBand) runs.push_back({&c, nullptr});
  return runs;
}

bool findRun(const char* name, Run& found) {
  for (const Run& r : allRuns()) {
    if (r.name() == name) {
      found = r;
      return true;
    }
  }
  return false;
}

// The effect made next takes this kernel: the engine reads MULCHVOICE_KERNEL when it is made,
// in the DLL as natively.
void pinKernel(const char* kernel) {
  if (kernel == nullptr) return;
#ifdef _WIN32
  _putenv_s("MULCHVOICE_KERNEL", kernel);
#else
  setenv("MULCHVOICE_KERNEL", kernel, 1);
#endif
}

// Renders `frames` frames of the input in blocks of `block`, as bench::render says.
void render(AEffect* effect, const Input& input, int block, int frames, Buffers& b) {
  bench::render(input, block, frames, b, [effect](Buffers& buffers, int n) {
    effect->processReplacing(effect, buffers.inputs, buffers.outputs, n);
  });
}

// The same with both inputs digital silence (cleared before every call, as the copy above).
void renderSilence(AEffect* effect, int block, int frames, Buffers& b) {
  for (int done = 0; done < frames; done += block) {
    std::memset(b.in1.data(), 0, sizeof(float) * block);
    std::memset(b.in2.data(), 0, sizeof(float) * block);
    effect->processReplacing(effect, b.inputs, b.outputs, block);
  }
}

void configure(AEffect* effect, const Case& c) {
  if (c.gateOff) effect->setParameter(effect, kMulchIO, 0.0f);
}

// Renders what comes before the measured stretch: half a run of the normal input as warm-up,
// or for silence-after-loud one run of the loud input, so that every state rings at full level
// when the silence begins. Returns the frames rendered.
int prepare(AEffect* effect, const Case& c, const Inputs& inputs, int block, Buffers& b) {
  const int frames = c.silenceAfterLoud ? (kRunFrames / block) * block : kRunFrames / 2;
  render(effect, c.silenceAfterLoud ? inputs.loud : inputs.normal, block, frames, b);
  return (frames + block - 1) / block * block;
}

void renderMeasured(AEffect* effect, const Case& c, const Inputs& inputs, int block, int frames,
                    Buffers& b) {
  if (c.silenceAfterLoud)
    renderSilence(effect, block, frames, b);
  else
    render(effect, inputs.normal, block, frames, b);
}

double medianNanosecondsPerFrame(AEffect* effect, const Case& c, const Inputs& inputs, int block) {
  Buffers b(block);
  const int frames = (kRunFrames / block) * block;
  std::vector<double> perFrame;
  for (int run = 0; run < bench::kRuns; ++run) {
    if (run == 0 || c.silenceAfterLoud) prepare(effect, c, inputs, block, b);
    perFrame.push_back(bench::nanosecondsPerFrame(
        frames, [&] { renderMeasured(effect, c, inputs, block, frames, b); }));
  }
  return bench::median(perFrame);
}

int usage() {
  std::fprintf(stderr,
               "usage: process_bench                      RESULT lines for every name and block\n"
               "       process_bench --list               the names, one to a line\n"
               "       process_bench --time <name> <block> the RESULT line of one name and block\n"
               "       process_bench --once <name> <block> one second of one case, for callgrind\n"
               "names:");
  for (const Run& r : allRuns()) std::fprintf(stderr, " %s", r.name().c_str());
  std::fprintf(stderr, "\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Checked before the plug-in is loaded, so that a mistyped command fails at once.
  enum class Mode { kAll, kList, kTime, kOnce } mode = Mode::kAll;
  Run single = {nullptr, nullptr};
  int singleBlock = 0;
  if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
    mode = Mode::kList;
  } else if (argc == 4 && std::strcmp(argv[1], "--time") == 0) {
    mode = Mode::kTime;
  } else if (argc == 4 && std::strcmp(argv[1], "--once") == 0) {
    mode = Mode::kOnce;
  } else if (argc != 1) {
    return usage();
  }
  if (mode == Mode::kTime || mode == Mode::kOnce) {
    singleBlock = std::atoi(argv[3]);
    const int longest = mode == Mode::kOnce ? bench::kOnceFrames : kRunFrames;
    if (!findRun(argv[2], single) || singleBlock < 1 || singleBlock > longest) return usage();
  }
  if (mode == Mode::kList) {
    for (const Run& r : allRuns()) std::printf("%s\n", r.name().c_str());
    return 0;
  }
#if !defined(_WIN32) && !defined(MULCHVOICE_BENCH_CALLGRIND)
  if (mode == Mode::kOnce) {
    // Without the client request the warm-up or the loud priming would be counted too.
    std::fprintf(stderr, "process_bench: built without valgrind/callgrind.h; install valgrind\n");
    return 1;
  }
#endif

#ifdef _WIN32
  testhost::PluginHost host;
  std::string error;
  if (!host.load(testhost::defaultPluginPath(), &error)) {
    std::fprintf(stderr, "process_bench: %s\n", error.c_str());
    return 1;
  }
  auto instantiate = [&](const Case&) { return host.instantiate(); };
  auto release = [&](AEffect* effect) { host.close(effect); };
  const char* what = "MULCHVOICE.dll through its main, under Wine";
  auto stretchesOf = [](AEffect*) { return Stretches{-1, -1, -1}; };  // the DLL's are not seen
#else
  std::vector<std::unique_ptr<Vocoder>> effects;
  auto instantiate = [&](const Case& c) {
    if (c.bandByBand)
      effects.push_back(std::make_unique<BandByBandEffect>());
    else
      effects.push_back(std::make_unique<Vocoder>(nullptr));
    return effects.back()->getAeffect();
  };
  auto release = [&](AEffect*) { effects.clear(); };
  const char* what = "the effect object, natively";
  auto stretchesOf = [&](AEffect*) {
    if (effects.empty()) return Stretches{-1, -1, -1};
    const auto& totals = effects.back()->engine().stretches();
    return Stretches{totals.run, totals.speculated, totals.fellBack};
  };
#endif
  const Inputs inputs;

  auto make = [&](const Run& r) {
    pinKernel(r.kernel);
    AEffect* effect = instantiate(*r.c);
    if (effect == nullptr) {
      std::fprintf(stderr, "process_bench: the plug-in gave no effect\n");
      std::exit(1);
    }
    configure(effect, *r.c);
    return effect;
  };

  if (mode == Mode::kOnce) {
    AEffect* effect = make(single);
    Buffers b(singleBlock);
    const int frames = (bench::kOnceFrames / singleBlock) * singleBlock;
    const int prepared = prepare(effect, *single.c, inputs, singleBlock, b);
    const Stretches before = stretchesOf(effect);
    bench::zeroInstructionCounts();
    renderMeasured(effect, *single.c, inputs, singleBlock, frames, b);
    const Stretches after = stretchesOf(effect);
    std::printf("ONCE name=%s-%s block=%d frames=%d rendered=%d", kBuild, single.name().c_str(),
                singleBlock, frames, prepared + frames);
    if (after.run >= 0)
      std::printf(" stretches=%lld speculated=%lld fell_back=%lld", after.run - before.run,
                  after.speculated - before.speculated, after.fellBack - before.fellBack);
    std::printf("\n");
    release(effect);
    return 0;
  }

  auto timeOne = [&](const Run& r, int block) {
    AEffect* effect = make(r);
    bench::printResult(std::string(kBuild) + "-" + r.name(), block,
                       medianNanosecondsPerFrame(effect, *r.c, inputs, block));
    std::fflush(stdout);  // each line as it comes: the DLL's run takes a while under Wine
    release(effect);
  };

  if (mode == Mode::kTime) {
    timeOne(single, singleBlock);
    return 0;
  }
  std::printf("# processReplacing of %s: median of %d runs of %d frames\n", what, bench::kRuns,
              kRunFrames);
  std::fflush(stdout);
  for (const Run& r : allRuns())
    for (int block : bench::kBlocks) timeOne(r, block);
  return 0;
}
