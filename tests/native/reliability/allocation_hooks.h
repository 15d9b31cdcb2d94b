#pragma once
// Replacements of malloc, calloc, realloc, free, the operators new and delete and
// pthread_mutex_lock that count the calls made while armed. A program that compiles
// allocation_hooks.cpp in counts its own calls and those of every library it loads; the
// sanitizers' allocators forbid such replacements, so such a program is built without them.

namespace hooks {

void arm();
void disarm();
long allocations();
long releases();
long locks();
inline long total() { return allocations() + releases() + locks(); }
void clear();  // the three counts back to 0

// Makes the next armed nothrow operator new return null, as when memory runs out.
void failNextNothrowNew();

// Whether the hooks see what they are meant to see (a silent zero would prove nothing); clears
// the counts.
bool countingWorks();

}  // namespace hooks
