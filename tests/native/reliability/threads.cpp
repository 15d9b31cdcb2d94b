// The effect on the threads of a busy host: one thread processes blocks while others set and
// read parameters, switch programs, rename programs and read the names back, and one runs the
// editor's refresh protocol with idle calls. Built with ThreadSanitizer, any data race fails
// the run (the test sets halt_on_error). In every build it checks:
//   - every refresh requested before an idle call has been answered by an update() once that
//     idle call returns (the flag is cleared before update runs, so no request is lost);
//   - both outputs of every block are identical, and program names read back are terminated
//     within 24 bytes and made of characters that were written;
//   - after the threads stop, the band and gate states are finite.
// Prints one line of figures.
//
// Usage: reliability_threads [seconds]      (default 2)
//        reliability_threads --plant-race   races on purpose, to show ThreadSanitizer reports it

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/band_filter.h"
#include "host/aeff_editor.h"
#include "vst/vocoder.h"
#include "tests/native/reliability/host_driver.h"

namespace {

std::atomic<bool> stopping{false};
std::atomic<long> faults{0};

void fault(const char* what) {
  if (faults.fetch_add(1) < 10) std::printf("FAIL: %s\n", what);
}

// The threads that may request a refresh: this one (setup and the final check), the parameter
// thread and the program thread.
enum Poster { kMainPoster, kParameterPoster, kProgramPoster, kNumPosters };
thread_local int posterSlot = kMainPoster;

// Counts refresh requests and updates. Each posting thread counts under a lock of its own, so
// that the count and the request are one step as the idle thread sees them, and posting
// threads never synchronise with each other through the editor (which would hide races
// between them from ThreadSanitizer).
class RefreshEditor : public AEffEditor {
 public:
  explicit RefreshEditor(AudioEffect* effect) : AEffEditor(effect) {}

  void postUpdate() override {
    std::lock_guard<std::mutex> lock(locks_[posterSlot]);
    posted_[posterSlot] += 1;
    AEffEditor::postUpdate();
  }

  // Idle thread only (update runs inside idle).
  void update() override {
    answeredUpTo = postedSoFar();
    ++updates;
  }

  long postedSoFar() {
    long sum = 0;
    for (int slot = 0; slot < kNumPosters; ++slot) {
      std::lock_guard<std::mutex> lock(locks_[slot]);
      sum += posted_[slot];
    }
    return sum;
  }

  long answeredUpTo = 0;  // requests posted before the latest update() started
  long updates = 0;

 private:
  std::mutex locks_[kNumPosters];
  long posted_[kNumPosters] = {};
};

// A small random generator per thread.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed | 1u) {}
  uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  float unit() { return static_cast<float>(next() >> 8) / 16777216.0f; }

 private:
  uint32_t state_;
};

const char* const kNames[] = {"", "Bright", "Smooth Mulch", "Twenty-three characters",
                              "A name far too long to be kept whole by any program"};

bool nameCharacter(char c) {
  for (const char* name : kNames)
    if (std::strchr(name, c) != nullptr) return true;
  return false;
}

struct Figures {
  long blocks = 0, frames = 0;
  long sets = 0, gets = 0;
  long switches = 0;
  long renames = 0, nameReads = 0;
  long idles = 0;
};

void audioThread(AEffect* effect, Figures& figures) {
  const int32_t sizes[] = {1, 64, 512, 3000, 3001, 4096};
  std::vector<float> in1(4096), in2(4096), out1(4096), out2(4096);
  float* inputs[2] = {in1.data(), in2.data()};
  float* outputs[2] = {out1.data(), out2.data()};
  Random random(1);
  for (size_t i = 0; !stopping.load(); ++i) {
    const int32_t n = sizes[i % (sizeof sizes / sizeof sizes[0])];
    for (int32_t k = 0; k < n; ++k) {
      in1[k] = random.unit() - 0.5f;
      in2[k] = 0.5f * std::sin(0.05f * static_cast<float>(k));
    }
    effect->processReplacing(effect, inputs, outputs, n);
    if (std::memcmp(out1.data(), out2.data(), sizeof(float) * static_cast<size_t>(n)) != 0)
      fault("the two outputs of a block differ");
    ++figures.blocks;
    figures.frames += n;
  }
}

void parameterThread(AEffect* effect, Figures& figures) {
  posterSlot = kParameterPoster;
  Random random(2);
  while (!stopping.load()) {
    const int32_t index = static_cast<int32_t>(random.next() % 10) - 1;  // -1 to 8
    effect->setParameter(effect, index, random.unit());
    (void)effect->getParameter(effect, static_cast<int32_t>(random.next() % 10) - 1);
    ++figures.sets;
    ++figures.gets;
  }
}

void programThread(AEffect* effect, Figures& figures) {
  posterSlot = kProgramPoster;
  Random random(3);
  while (!stopping.load()) {
    const int32_t program = static_cast<int32_t>(random.next() % 4) - 1;  // -1 to 2
    effect->dispatcher(effect, effSetProgram, 0, program, nullptr, 0.0f);
    const int32_t current = effect->dispatcher(effect, effGetProgram, 0, 0, nullptr, 0.0f);
    if (current != 0 && current != 1) fault("effGetProgram answered a program that does not exist");
    ++figures.switches;
  }
}

void nameThread(AEffect* effect, Figures& figures) {
  Random random(4);
  std::unique_ptr<char[]> name(new char[kProgramNameSize]);  // exactly what a name may use
  char text[64];
  while (!stopping.load()) {
    std::snprintf(text, sizeof text, "%s", kNames[random.next() % (sizeof kNames / sizeof kNames[0])]);
    effect->dispatcher(effect, effSetProgramName, 0, 0, text, 0.0f);
    effect->dispatcher(effect, effGetProgramName, 0, 0, name.get(), 0.0f);
    const void* end = std::memchr(name.get(), '\0', kProgramNameSize);
    if (end == nullptr) {
      fault("a program name read back is not terminated within 24 bytes");
    } else {
      for (const char* c = name.get(); *c != '\0'; ++c)
        if (!nameCharacter(*c)) fault("a program name read back holds a character never written");
    }
    ++figures.renames;
    ++figures.nameReads;
  }
}

void idleThread(AEffect* effect, RefreshEditor& editor, Figures& figures) {
  while (!stopping.load()) {
    const long requested = editor.postedSoFar();
    effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0.0f);
    if (requested > editor.answeredUpTo)
      fault("a refresh requested before an idle call was not answered by update()");
    ++figures.idles;
  }
}

bool statesFinite(const Vocoder& vocoder) {
  for (int32_t band = 1; band <= kNumBands; ++band) {
    BandFilter r;
    vocoder.engine().getBand(band, r);
    const float values[] = {r.speechZ1, r.speechZ2, r.carrierZ1, r.carrierZ2, r.envZ1};
    for (float v : values)
      if (!std::isfinite(v)) return false;
  }
  return std::isfinite(vocoder.engine().gate().smootherState());
}

// Two threads add to a plain integer: a data race ThreadSanitizer must report.
int plantRace() {
  static long counter = 0;
  auto add = [] {
    for (int i = 0; i < 100000; ++i) counter = counter + 1;
  };
  std::thread a(add), b(add);
  a.join();
  b.join();
  std::printf("planted race: counter %ld\n", counter);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--plant-race") == 0) return plantRace();
  const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;

  AEffect* effect = openTestEffect(/*withEditor=*/false);
  if (effect == nullptr) {
    std::printf("FAIL: no effect\n");
    return 1;
  }
  Vocoder* vocoder = static_cast<Vocoder*>(static_cast<AudioEffect*>(effect->object));
  RefreshEditor* editor = new RefreshEditor(vocoder);
  vocoder->setEditor(editor);

  Figures audio, parameters, programs, names, idle;
  std::thread threads[] = {
      std::thread(audioThread, effect, std::ref(audio)),
      std::thread(parameterThread, effect, std::ref(parameters)),
      std::thread(programThread, effect, std::ref(programs)),
      std::thread(nameThread, effect, std::ref(names)),
      std::thread(idleThread, effect, std::ref(*editor), std::ref(idle)),
  };
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  stopping = true;
  for (std::thread& t : threads) t.join();

  // Quiet now: one idle call answers everything requested, and the next has nothing to do.
  effect->setParameter(effect, kGain, 0.3f);
  const long requested = editor->postedSoFar();
  effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0.0f);
  if (editor->answeredUpTo != requested) fault("the last refresh request went unanswered");
  const long updates = editor->updates;
  effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0.0f);
  if (editor->updates != updates) fault("an idle call updated with no refresh pending");
  if (!statesFinite(*vocoder)) fault("a band or gate state is not finite");

  std::printf("threads: %.1f s; audio %ld blocks (%ld frames); parameters %ld set, %ld read; "
              "programs %ld switches; names %ld renames, %ld reads; editor %ld idle calls, "
              "%ld updates for %ld refresh requests; %ld faults\n",
              seconds, audio.blocks, audio.frames, parameters.sets, parameters.gets,
              programs.switches, names.renames, names.nameReads, idle.idles, editor->updates,
              requested, faults.load());
  effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
  return faults == 0 ? 0 : 1;
}
