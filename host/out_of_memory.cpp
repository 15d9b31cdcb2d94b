#include "host/out_of_memory.h"

std::atomic<bool> outOfMemory{false};
