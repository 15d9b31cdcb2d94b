// The run timer: a stand-in for the plug-in's binary that forwards every call to the real
// mulchvoice.so of the build tree and measures each run. tools/lv2-live.sh puts it in a bundle
// of its own (lv2-timed/ in the build tree) beside the plug-in's own description, so that a real
// host, Debian's jalv, loads the plug-in through it. Per run it takes:
//
//   the time on the clock, against the deadline of the period: the run's frames at the rate;
//   the time on the thread's processor clock;
//   the thread's context switches: a voluntary one means the run waited (a lock, a file, a
//   sleep), an involuntary one that the system took the processor away meanwhile;
//   the output samples that are not finite.
//
// The run's work is at most both of its two times, and each alone can overstate it: the clock
// counts the time others had the processor, and on a virtual machine the processor clock can
// jump. So the lesser of the two measures it. Even that counts what the thread cannot see: an
// interrupt, or a virtual machine's host taking its processor away, adds to both (a run of the
// plug-in takes about a microsecond; such runs can take a millisecond on a busy machine).
//
// When the host frees the instance it writes one line to the standard error:
//
//   run timer: runs=28650 frames=64 rate=48000 deadline_us=1333.3 median_work_us=1.0
//     p999_work_us=12 worst_work_us=103.4 worst_clock_us=841.2 past_deadline=0
//     own_overruns=0 waited=0 preempted=3 not_finite=0
//
// `past_deadline` counts the runs that took longer than the deadline on the clock; of those,
// `own_overruns` counts the ones the plug-in may have caused itself, by working longer than the
// deadline or by waiting. The others lost the processor to the rest of the system: on a loaded
// machine without real-time scheduling that happens, and says nothing of the plug-in. The
// median and the 99.9th percentile of the work are read from a histogram of whole
// microseconds.
//
// It is a measuring instrument, not part of the product: its readings around each run are system
// calls (the processor clock and the switch counts have no faster source), a few hundred
// nanoseconds each, outside what it attributes to the plug-in.

#include <dlfcn.h>
#include <lv2/core/lv2.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>

#include "lv2/ports.h"

namespace {

// The real plug-in's descriptor, from the module named at build time; null (with a message)
// when it cannot be loaded.
const LV2_Descriptor* realDescriptor() {
  static const LV2_Descriptor* const descriptor = []() -> const LV2_Descriptor* {
    void* module = dlopen(MULCHVOICE_PLUGIN_BINARY, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      std::fprintf(stderr, "run timer: %s\n", dlerror());
      return nullptr;
    }
    const auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(module, "lv2_descriptor"));
    return entry != nullptr ? entry(0) : nullptr;
  }();
  return descriptor;
}

// The work histogram's buckets: one per microsecond, the last for all longer runs.
constexpr int64_t kHistogramSize = 2000;

int64_t nanoseconds(const timespec& t) {
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

struct TimedInstance {
  LV2_Handle plugin;
  double rate;
  float* outputs[2] = {nullptr, nullptr};
  uint32_t frames = 0;  // of the last run
  uint64_t runs = 0, pastDeadline = 0, ownOverruns = 0, waited = 0, preempted = 0;
  uint64_t notFinite = 0;
  int64_t worstWork = 0, worstClock = 0;    // nanoseconds
  uint64_t histogram[kHistogramSize] = {};  // runs by their work in whole microseconds
};

TimedInstance* timed(LV2_Handle handle) { return static_cast<TimedInstance*>(handle); }

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char* bundle,
                       const LV2_Feature* const* features) {
  const LV2_Descriptor* real = realDescriptor();
  if (real == nullptr) return nullptr;
  LV2_Handle plugin = real->instantiate(real, rate, bundle, features);
  if (plugin == nullptr) return nullptr;
  TimedInstance* instance = new (std::nothrow) TimedInstance{plugin, rate};
  if (instance == nullptr) real->cleanup(plugin);
  return instance;
}

void connectPort(LV2_Handle handle, uint32_t port, void* data) {
  if (port == kOutput1 || port == kOutput2)
    timed(handle)->outputs[port - kOutput1] = static_cast<float*>(data);
  realDescriptor()->connect_port(timed(handle)->plugin, port, data);
}

void activate(LV2_Handle handle) {
  if (realDescriptor()->activate != nullptr) realDescriptor()->activate(timed(handle)->plugin);
}

void deactivate(LV2_Handle handle) {
  if (realDescriptor()->deactivate != nullptr) realDescriptor()->deactivate(timed(handle)->plugin);
}

void run(LV2_Handle handle, uint32_t frames) {
  TimedInstance& t = *timed(handle);
  rusage before, after;
  timespec cpu0, cpu1, clock0, clock1;
  getrusage(RUSAGE_THREAD, &before);
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu0);
  clock_gettime(CLOCK_MONOTONIC, &clock0);
  realDescriptor()->run(t.plugin, frames);
  clock_gettime(CLOCK_MONOTONIC, &clock1);
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu1);
  getrusage(RUSAGE_THREAD, &after);

  const int64_t clock = nanoseconds(clock1) - nanoseconds(clock0);
  const int64_t work = std::min(clock, nanoseconds(cpu1) - nanoseconds(cpu0));
  const double deadline = frames / t.rate * 1e9;
  const bool waited = after.ru_nvcsw != before.ru_nvcsw;
  ++t.runs;
  t.frames = frames;
  t.worstWork = std::max(t.worstWork, work);
  ++t.histogram[std::min(work / 1000, kHistogramSize - 1)];
  t.worstClock = std::max(t.worstClock, clock);
  t.waited += waited ? 1 : 0;
  t.preempted += after.ru_nivcsw != before.ru_nivcsw ? 1 : 0;
  if (clock > deadline) {
    ++t.pastDeadline;
    if (work > deadline || waited) ++t.ownOverruns;
  }
  for (float* out : t.outputs)
    if (out != nullptr)
      for (uint32_t k = 0; k < frames; ++k) t.notFinite += std::isfinite(out[k]) ? 0 : 1;
}

// The work below which the share `fraction` of the runs lay: the upper end of its bucket.
int64_t workQuantile(const TimedInstance& t, double fraction) {
  uint64_t below = 0;
  for (int64_t us = 0; us < kHistogramSize; ++us) {
    below += t.histogram[us];
    if (below >= fraction * t.runs) return us + 1;
  }
  return kHistogramSize;
}

void cleanup(LV2_Handle handle) {
  const TimedInstance* t = timed(handle);
  realDescriptor()->cleanup(t->plugin);
  std::fprintf(
      stderr,
      "run timer: runs=%llu frames=%u rate=%.0f deadline_us=%.1f median_work_us=%lld "
      "p999_work_us=%lld worst_work_us=%.1f worst_clock_us=%.1f past_deadline=%llu "
      "own_overruns=%llu waited=%llu preempted=%llu not_finite=%llu\n",
      static_cast<unsigned long long>(t->runs), t->frames, t->rate, t->frames / t->rate * 1e6,
      static_cast<long long>(workQuantile(*t, 0.5)),
      static_cast<long long>(workQuantile(*t, 0.999)), t->worstWork / 1e3, t->worstClock / 1e3,
      static_cast<unsigned long long>(t->pastDeadline),
      static_cast<unsigned long long>(t->ownOverruns), static_cast<unsigned long long>(t->waited),
      static_cast<unsigned long long>(t->preempted), static_cast<unsigned long long>(t->notFinite));
  delete t;
}

const void* extensionData(const char* uri) { return realDescriptor()->extension_data(uri); }

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  static const LV2_Descriptor descriptor = {
      kPluginUri, instantiate, connectPort, activate, run, deactivate, cleanup, extensionData,
  };
  return index == 0 && realDescriptor() != nullptr ? &descriptor : nullptr;
}
