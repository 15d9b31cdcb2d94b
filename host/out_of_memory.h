#pragma once
// Set by a constructor that could not obtain its memory or resources; `main` reads it and
// refuses the instance. It is process-wide and, once set, stays set.

#include <atomic>

extern std::atomic<bool> outOfMemory;
