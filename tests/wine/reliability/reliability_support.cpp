#include "tests/wine/reliability/reliability_support.h"

#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "engine/same_bits.h"

namespace reliability {

namespace {

size_t pageSize() {
  static const size_t size = [] {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return static_cast<size_t>(info.dwPageSize);
  }();
  return size;
}

size_t roundUp(size_t n, size_t to) { return (n + to - 1) / to * to; }

// The fenced regions alive, so that a fault can name the buffer it hit.
struct Fence {
  const char* what;
  const char* begin;  // leading guard
  const char* end;    // one past the trailing guard
};
std::mutex fencesMutex;
std::vector<Fence> fences;

void addFence(const char* what, const char* begin, size_t bytes) {
  std::lock_guard<std::mutex> lock(fencesMutex);
  fences.push_back({what, begin, begin + bytes});
}

void removeFence(const char* begin) {
  std::lock_guard<std::mutex> lock(fencesMutex);
  fences.erase(std::remove_if(fences.begin(), fences.end(),
                              [begin](const Fence& f) { return f.begin == begin; }),
               fences.end());
}

// Commits a region with one PAGE_NOACCESS page at each end; returns its start.
char* allocateFenced(size_t innerBytes, size_t* regionBytes) {
  const size_t page = pageSize();
  *regionBytes = innerBytes + 2 * page;
  auto* region = static_cast<char*>(
      VirtualAlloc(nullptr, *regionBytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (region == nullptr) {
    std::fprintf(stderr, "cannot allocate %zu bytes for a fenced buffer\n", *regionBytes);
    std::abort();
  }
  DWORD old;
  VirtualProtect(region, page, PAGE_NOACCESS, &old);
  VirtualProtect(region + page + innerBytes, page, PAGE_NOACCESS, &old);
  return region;
}

LONG CALLBACK reportFault(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  const DWORD code = record->ExceptionCode;
  const bool serious = code == EXCEPTION_ACCESS_VIOLATION || code == EXCEPTION_STACK_OVERFLOW ||
                       code == EXCEPTION_ILLEGAL_INSTRUCTION ||
                       code == EXCEPTION_INT_DIVIDE_BY_ZERO ||
                       code == EXCEPTION_FLT_INVALID_OPERATION ||
                       code == EXCEPTION_FLT_DIVIDE_BY_ZERO || code == STATUS_FLOAT_MULTIPLE_TRAPS;
  if (!serious) return EXCEPTION_CONTINUE_SEARCH;
  const void* at = record->ExceptionAddress;
  if (code == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2) {
    const char* target = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
    const char* what = "no fenced buffer";
    {
      std::lock_guard<std::mutex> lock(fencesMutex);
      for (const Fence& f : fences) {
        if (target >= f.begin && target < f.end) what = f.what;
      }
    }
    std::fprintf(stderr, "fault: access violation (%s) at %p, address %p: %s\n",
                 record->ExceptionInformation[0] ? "write" : "read", at,
                 static_cast<const void*>(target), what);
  } else {
    std::fprintf(stderr, "fault: exception 0x%08lx at %p\n", static_cast<unsigned long>(code), at);
  }
  std::fflush(stderr);
  return EXCEPTION_CONTINUE_SEARCH;
}

// The GDI handle table Wine maps into every process (the PEB's GdiSharedHandleTable): 65536
// entries of 24 bytes. An entry is live when its type is not 0; stock objects carry bit 7 of
// the unique field.
#pragma pack(push, 1)
struct WineGdiEntry {
  uint64_t object;
  uint32_t owner;
  uint16_t unique;
  uint8_t type;
  uint8_t flags;
  uint64_t user;
};
#pragma pack(pop)
static_assert(sizeof(WineGdiEntry) == 24, "Wine's GDI handle entry is 24 bytes");

bool runningOnWine() {
  static const bool wine =
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}

long wineGdiObjects() {
  // The thread block holds the process block's address at fs:[0x30] in 32-bit code, gs:[0x60]
  // in 64-bit code; the process block holds the table's at 0x94 or 0xF8. The entries have the
  // same layout in both.
  const char* peb;
#if defined(_WIN64)
  asm("movq %%gs:0x60, %0" : "=r"(peb));
  constexpr size_t tableField = 0xF8;
#else
  asm("movl %%fs:0x30, %0" : "=r"(peb));
  constexpr size_t tableField = 0x94;
#endif
  const auto* table = *reinterpret_cast<const WineGdiEntry* const*>(peb + tableField);
  if (table == nullptr) return -1;
  long live = 0;
  for (int i = 0; i < 0x10000; ++i) {
    if (table[i].type != 0 && (table[i].unique & 0x80) == 0) ++live;
  }
  return live;
}

BOOL CALLBACK countWindow(HWND window, LPARAM param) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == GetCurrentProcessId()) ++*reinterpret_cast<long*>(param);
  return TRUE;
}

BOOL CALLBACK countTopLevel(HWND window, LPARAM param) {
  countWindow(window, param);
  EnumChildWindows(window, countWindow, param);
  return TRUE;
}

long processWindows() {
  long count = 0;
  EnumWindows(countTopLevel, reinterpret_cast<LPARAM>(&count));
  for (HWND w = FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); w != nullptr;
       w = FindWindowExA(HWND_MESSAGE, w, nullptr, nullptr)) {
    countTopLevel(w, reinterpret_cast<LPARAM>(&count));
  }
  return count;
}

struct SystemHandleEntry {
  ULONG ownerPid;
  UCHAR objectType;
  UCHAR flags;
  USHORT handle;
  void* object;
  ACCESS_MASK access;
};

// The list: a count, then the entries, aligned as an entry is (after 4 bytes in 32-bit code,
// after 8 in 64-bit code).
struct SystemHandleList {
  ULONG count;
  SystemHandleEntry entries[1];
};

long listedHandles() {
  using QuerySystemInformation = LONG(NTAPI*)(ULONG, void*, ULONG, ULONG*);
  static const auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  if (query == nullptr) return -1;
  std::vector<char> buffer(1 << 20);
  for (int attempt = 0; attempt < 6; ++attempt) {
    ULONG length = 0;
    LONG status = query(16 /* SystemHandleInformation */, buffer.data(),
                        static_cast<ULONG>(buffer.size()), &length);
    if (status == 0) {
      ULONG count;
      std::memcpy(&count, buffer.data(), sizeof count);
      const auto* entries = reinterpret_cast<const SystemHandleEntry*>(
          buffer.data() + offsetof(SystemHandleList, entries));
      long mine = 0;
      for (ULONG i = 0; i < count; ++i) {
        if (entries[i].ownerPid == GetCurrentProcessId()) ++mine;
      }
      return mine;
    }
    buffer.resize(std::max<size_t>(buffer.size() * 2, length + 4096));
  }
  return -1;
}

uint64_t committedPrivateBytes() {
  uint64_t sum = 0;
  MEMORY_BASIC_INFORMATION info;
  const char* address = nullptr;
  while (VirtualQuery(address, &info, sizeof info) == sizeof info) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) sum += info.RegionSize;
    const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
    if (next <= address) break;
    address = next;
  }
  return sum;
}

uint64_t busyHeapBytes() {
  HANDLE heaps[256];
  DWORD count = GetProcessHeaps(256, heaps);
  if (count > 256) count = 256;
  uint64_t sum = 0;
  for (DWORD i = 0; i < count; ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry{};
    entry.lpData = nullptr;
    while (HeapWalk(heaps[i], &entry)) {
      if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) sum += entry.cbData;
    }
    HeapUnlock(heaps[i]);
  }
  return sum;
}

long tlsSlotsInUse() {
  std::vector<DWORD> taken;
  taken.reserve(2048);
  for (;;) {
    const DWORD slot = TlsAlloc();
    if (slot == TLS_OUT_OF_INDEXES || taken.size() >= 4096) break;
    taken.push_back(slot);
  }
  for (DWORD slot : taken) TlsFree(slot);
  return 1088 - static_cast<long>(taken.size());
}

// Which sources answer here; decided once, on the first measurement.
struct Sources {
  bool guiResources = false;
  bool handleCount = false;
  bool privateUsage = false;
};

Sources sources() {
  static const Sources found = [] {
    Sources s;
    SetLastError(0);
    DWORD gui = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    s.guiResources = !(gui == 0 && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) &&
                     !(gui == 0 && runningOnWine());
    DWORD handles = 0;
    s.handleCount = GetProcessHandleCount(GetCurrentProcess(), &handles) && handles > 0;
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    s.privateUsage =
        GetProcessMemoryInfo(GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters) &&
        counters.PrivateUsage > 0;
    return s;
  }();
  return found;
}

}  // namespace

bool longRun() {
  char value[16] = {};
  DWORD length = GetEnvironmentVariableA("MULCHVOICE_LONG", value, sizeof value);
  return length > 0 && length < sizeof value && std::strcmp(value, "0") != 0;
}

double now() {
  static const double period = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return 1.0 / static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * period;
}

void figure(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::printf("\n");
  std::fflush(stdout);
}

void installFaultReporter() {
  static const bool installed = AddVectoredExceptionHandler(1, reportFault) != nullptr;
  (void)installed;
}

FencedFloats::FencedFloats(size_t capacity) : capacity_(capacity) {
  const size_t inner = roundUp(capacity * sizeof(float), pageSize());
  region_ = allocateFenced(inner, &regionBytes_);
  first_ = reinterpret_cast<float*>(region_ + pageSize());
  end_ = reinterpret_cast<float*>(region_ + pageSize() + inner);
  addFence("fenced sample buffer", region_, regionBytes_);
  paint();
}

FencedFloats::~FencedFloats() {
  removeFence(region_);
  VirtualFree(region_, 0, MEM_RELEASE);
}

float* FencedFloats::tail(size_t n) { return end_ - std::min(n, capacity_); }

void FencedFloats::paint() {
  for (float* p = first_; p < end_; ++p) std::memcpy(p, &kSentinel, sizeof kSentinel);
}

bool FencedFloats::slackIntact(size_t n) const {
  const float* block = end_ - std::min(n, capacity_);
  for (const float* p = first_; p < block; ++p) {
    if (std::memcmp(p, &kSentinel, sizeof kSentinel) != 0) return false;
  }
  return true;
}

bool FencedFloats::blockUntouched(size_t n) const {
  for (const float* p = end_ - std::min(n, capacity_); p < end_; ++p) {
    if (std::memcmp(p, &kSentinel, sizeof kSentinel) != 0) return false;
  }
  return true;
}

FencedStereo::FencedStereo(size_t capacity)
    : in1(capacity), in2(capacity), out1(capacity), out2(capacity), inputs_(), outputs_() {}

void FencedStereo::load(const Signal& signal, size_t first, size_t n) {
  in1.paint();
  in2.paint();
  out1.paint();
  out2.paint();
  float* a = in1.tail(n);
  float* b = in2.tail(n);
  const size_t length = signal.speech.size();
  for (size_t k = 0; k < n; ++k) {
    a[k] = signal.speech[(first + k) % length];
    b[k] = signal.carrier[(first + k) % length];
  }
}

float** FencedStereo::inputs(size_t n) {
  inputs_[0] = in1.tail(n);
  inputs_[1] = in2.tail(n);
  return inputs_;
}

float** FencedStereo::outputs(size_t n) {
  outputs_[0] = out1.tail(n);
  outputs_[1] = out2.tail(n);
  return outputs_;
}

bool FencedStereo::slackIntact(size_t n) const {
  return in1.slackIntact(n) && in2.slackIntact(n) && out1.slackIntact(n) && out2.slackIntact(n);
}

bool FencedStereo::outputsFinite(size_t n) {
  const float* a = out1.tail(n);
  const float* b = out2.tail(n);
  for (size_t k = 0; k < n; ++k) {
    if (!std::isfinite(a[k]) || !std::isfinite(b[k])) return false;
  }
  return true;
}

bool FencedStereo::outputsIdentical(size_t n) {
  return std::memcmp(out1.tail(n), out2.tail(n), n * sizeof(float)) == 0;
}

FencedBytes::FencedBytes(size_t size, unsigned char fill) : size_(size), fill_(fill) {
  const size_t inner = roundUp(size + 64, pageSize());
  region_ = allocateFenced(inner, &regionBytes_);
  slack_ = region_ + pageSize();
  data_ = region_ + pageSize() + inner - size;
  addFence("fenced pointer buffer", region_, regionBytes_);
  refill();
}

FencedBytes::~FencedBytes() {
  removeFence(region_);
  VirtualFree(region_, 0, MEM_RELEASE);
}

void FencedBytes::refill() {
  std::memset(slack_, 0x5A, static_cast<size_t>(data_ - slack_));
  std::memset(data_, fill_, size_);
}

bool FencedBytes::slackIntact() const {
  for (const char* p = slack_; p < data_; ++p) {
    if (static_cast<unsigned char>(*p) != 0x5A) return false;
  }
  return true;
}

Resources measureResources() {
  const Sources s = sources();
  Resources r;
  if (s.guiResources) {
    r.userObjects = static_cast<long>(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS));
    r.gdiObjects = static_cast<long>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
  } else {
    r.userObjects = processWindows();
    r.gdiObjects = runningOnWine() ? wineGdiObjects() : -1;
  }
  if (s.handleCount) {
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    r.handles = static_cast<long>(handles);
  } else {
    r.handles = listedHandles();
  }
  if (s.privateUsage) {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    r.privateBytes = counters.PrivateUsage;
  } else {
    r.privateBytes = committedPrivateBytes();
  }
  r.heapBytes = busyHeapBytes();
  r.tlsSlots = tlsSlotsInUse();
  return r;
}

std::string resourceSources() {
  const Sources s = sources();
  std::string text;
  text += s.guiResources ? "USER and GDI from GetGuiResources"
                         : "USER as the process's windows, GDI from the process's GDI handle table "
                           "(GetGuiResources unanswered)";
  text += s.handleCount ? ", handles from GetProcessHandleCount"
                        : ", handles from the system handle list (GetProcessHandleCount unanswered)";
  text += s.privateUsage ? ", private bytes from PrivateUsage"
                         : ", private bytes as committed private memory (PrivateUsage unanswered)";
  return text;
}

Signal makeSignal(size_t frames, uint32_t seed) {
  Signal s;
  s.speech.resize(frames);
  s.carrier.resize(frames);
  Random random(seed);
  const double twoPi = 6.283185307179586;
  const double rate = 44100.0;
  double sawA = 0.0, sawB = 0.0;
  for (size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    // Syllables about four times a second, each a mix of hiss and two vowel-like tones.
    const double syllable = std::sin(twoPi * 3.7 * t);
    const double envelope = syllable > 0.0 ? syllable * syllable : 0.0;
    const double noise = random.uniform() * 2.0 - 1.0;
    const double voice = 0.3 * std::sin(twoPi * 700.0 * t) + 0.2 * std::sin(twoPi * 1230.0 * t) +
                         0.15 * std::sin(twoPi * 180.0 * t);
    s.speech[i] = static_cast<float>(envelope * (0.35 * noise + voice));
    sawA += 110.0 / rate;
    sawB += 164.8 / rate;
    sawA -= std::floor(sawA);
    sawB -= std::floor(sawB);
    s.carrier[i] = static_cast<float>(0.4 * (2.0 * sawA - 1.0) + 0.3 * (2.0 * sawB - 1.0));
  }
  return s;
}

Random::Random(uint64_t seed) : s0_(seed ^ 0x9E3779B97F4A7C15ull), s1_(seed * 0xBF58476D1CE4E5B9ull + 1) {
  for (int i = 0; i < 8; ++i) next();
}

uint64_t Random::next() {
  uint64_t x = s0_;
  const uint64_t y = s1_;
  s0_ = y;
  x ^= x << 23;
  s1_ = x ^ y ^ (x >> 17) ^ (y >> 26);
  return s1_ + y;
}

double Random::uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

int32_t Random::range(int32_t lo, int32_t hi) {
  const uint64_t span = static_cast<uint64_t>(static_cast<int64_t>(hi) - lo) + 1;
  return static_cast<int32_t>(lo + static_cast<int64_t>(next() % span));
}

Render render(AEffect* effect, const Signal& signal, size_t first, size_t frames, int blockSize) {
  Render r;
  r.out.resize(frames);
  std::vector<float> in1(blockSize), in2(blockSize), out1(blockSize), out2(blockSize);
  for (size_t done = 0; done < frames;) {
    const size_t n = std::min(frames - done, static_cast<size_t>(blockSize));
    std::copy_n(signal.speech.begin() + first + done, n, in1.begin());
    std::copy_n(signal.carrier.begin() + first + done, n, in2.begin());
    float* inputs[2] = {in1.data(), in2.data()};
    float* outputs[2] = {out1.data(), out2.data()};
    effect->processReplacing(effect, inputs, outputs, static_cast<int32_t>(n));
    for (size_t k = 0; k < n; ++k) {
      if (!std::isfinite(out1[k]) || !std::isfinite(out2[k])) r.finite = false;
      if (!sameBits(out1[k], out2[k])) r.identical = false;
      r.out[done + k] = out1[k];
    }
    done += n;
  }
  return r;
}

double rms(const std::vector<float>& v, size_t first, size_t count) {
  double sum = 0.0;
  for (size_t i = first; i < first + count && i < v.size(); ++i)
    sum += static_cast<double>(v[i]) * v[i];
  return count > 0 ? std::sqrt(sum / static_cast<double>(count)) : 0.0;
}

double differenceDb(const std::vector<float>& a, const std::vector<float>& b, size_t first,
                    size_t count) {
  double error = 0.0, energy = 0.0;
  for (size_t i = first; i < first + count && i < a.size() && i < b.size(); ++i) {
    const double d = static_cast<double>(a[i]) - b[i];
    error += d * d;
    energy += static_cast<double>(b[i]) * b[i];
  }
  if (error == 0.0) return -400.0;
  if (energy == 0.0) return 400.0;
  return 10.0 * std::log10(error / energy);
}

int32_t dispatch(AEffect* effect, int32_t opcode, int32_t index, int32_t value, void* ptr,
                 float opt) {
  return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

void setComparisonParameters(AEffect* effect) {
  const float values[8] = {1.0f, 1.0f, 0.4f, 1.0f, 0.1f, 0.3f, 0.0f, 0.0f};
  for (int32_t i = 0; i < 8; ++i) effect->setParameter(effect, i, values[i]);
}

}  // namespace reliability
