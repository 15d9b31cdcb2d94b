#pragma once
// The stretch runner: how a band kernel runs a slice without flushing every state at every
// sample, and still computes exactly what the flushing steps compute.
//
// The flush (flush.h) keeps a value v when kFlushThreshold <= |v| <= kFlushCeiling and makes
// it +0.0 otherwise, NaN included. A kernel runs a slice in stretches of kKernelStretch samples.
// A speculative stretch runs the same steps with the flush of each new state left out, and
// watches instead, at the cost of one or two operations per state, whether every state value it
// computes lies in the kept range. If one did not, the stretch runs again from the states it
// began with, flushing as always, and so do the rest of the slice's stretches.
//
// Why a stretch whose every new state value was kept computes the flushing steps' values, bit
// for bit: both begin with the same states, whatever they are, and each step is the same
// operations on the same inputs and states. Where flush(v) = v for every state value v a step
// computes, the next step starts from the same states in both, and by induction so does every
// step, with the same filter outputs, envelopes and products. flush(v) = v holds exactly for
// the values in the kept range and for +0.0; the watch treats +0.0 as out of range too, as it
// does -0.0 (which the flush turns into +0.0) and every subnormal number, NaN and infinity, so
// it may only ever ask for a re-run that was not needed, never let one pass that was.
//
// The states a stretch begins with need no watching: both forms take them as they are. But a
// state at zero (digital silence, or a value the flush just caught) nearly always leads to a
// zero again, which the watch would catch only after the whole stretch had run: such a stretch
// runs with the flush straight away, so silence costs what it always did.
//
// Nothing here allocates, locks or calls the system: the audio thread runs it.

#include <cstdint>

#include "engine/band_kernel.h"

// Runs the stretches of an n-sample slice. `Stretches` is one kernel's: it owns the states and
// runs one stretch from `first` on,
//   bool startsInRange()                       every state is in the kept range
//   bool runWatched(first, count)              without the flush; false if a state left the
//                                              range, the states then back where they began
//   void runFlushing(first, count)             with the flush
//   void sum(first, count)                     the stretch's outputs from its products
// The type is the kernel's own (internal linkage), so the code made from this template stays in
// the kernel's object, compiled for its instructions.
template <typename Stretches>
StretchCounts runStretches(Stretches& stretches, int32_t n) {
  StretchCounts counts = {0, 0, 0};
  bool speculating = true;
  for (int32_t first = 0; first < n; first += kKernelStretch) {
    const int32_t count = n - first < kKernelStretch ? n - first : kKernelStretch;
    ++counts.run;
    if (speculating && stretches.startsInRange()) {
      ++counts.speculated;
      if (!stretches.runWatched(first, count)) {
        ++counts.fellBack;
        speculating = false;
        stretches.runFlushing(first, count);
      }
    } else {
      stretches.runFlushing(first, count);
    }
    stretches.sum(first, count);
  }
  return counts;
}
