// The DLL's own allocation operators, straight onto the C runtime's heap.
//
// The C++ runtime's versions of these are written with exception handling, and linking them
// brings in its unwinder and, through that, the thread library. That library takes a thread-
// local-storage slot and two handles when the DLL is loaded and never gives them back, so a
// host that loads and frees the plug-in again and again (scanning, reopening a project) loses
// them each time until the process runs out of slots (about a thousand loads) and is ended.
// Defined here, nothing of the C++ runtime that needs threads is linked into the DLL.
//
// The product never throws and asks only for the non-throwing forms; a plain `new` would get
// null on failure too rather than an exception.

#include <cstddef>
#include <cstdlib>
#include <new>

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size != 0 ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size != 0 ? size : 1);
}

void* operator new(std::size_t size) { return std::malloc(size != 0 ? size : 1); }
void* operator new[](std::size_t size) { return std::malloc(size != 0 ? size : 1); }

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

// A call through an unfilled slot of an abstract class: a fault in the DLL itself.
extern "C" void __cxa_pure_virtual() { std::abort(); }
