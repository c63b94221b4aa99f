// The counting operator new and delete behind heap_counter.h. Every block
// carries its size in front so that delete can subtract it.
#include "heap_counter.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#ifdef _WIN32
#include <malloc.h>
#endif

namespace iptest::heap {
namespace {

std::atomic<bool> g_tracking{false};
std::atomic<bool> g_failing{false};
std::atomic<long long> g_live{0};
std::atomic<long long> g_peak{0};
std::atomic<int> g_calls{0};

constexpr std::size_t kHeader = 64;

void* Allocate(std::size_t size, std::size_t align) {
  if (g_tracking.load()) {
    g_calls.fetch_add(1);
    if (g_failing.load()) return nullptr;
  }
  if (align < alignof(std::max_align_t)) align = alignof(std::max_align_t);
  const std::size_t header = std::max(kHeader, align);
#ifdef _WIN32
  // The Windows C library has no aligned_alloc; its own aligned pair instead.
  void* raw = _aligned_malloc(header + size, header);
#else
  void* raw = std::aligned_alloc(header, (header + size + header - 1) / header * header);
#endif
  if (raw == nullptr) return nullptr;
  unsigned char* user = static_cast<unsigned char*>(raw) + header;
  reinterpret_cast<std::size_t*>(user)[-1] = size;
  reinterpret_cast<std::size_t*>(user)[-2] = header;
  if (g_tracking.load()) {
    const long long live = g_live.fetch_add(static_cast<long long>(size)) + static_cast<long long>(size);
    long long peak = g_peak.load();
    while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
    }
  }
  return user;
}

void Release(void* p) {
  if (p == nullptr) return;
  unsigned char* user = static_cast<unsigned char*>(p);
  const std::size_t size = reinterpret_cast<std::size_t*>(user)[-1];
  const std::size_t header = reinterpret_cast<std::size_t*>(user)[-2];
  if (g_tracking.load()) g_live.fetch_sub(static_cast<long long>(size));
#ifdef _WIN32
  _aligned_free(user - header);
#else
  std::free(user - header);
#endif
}

void* AllocateOrThrow(std::size_t size, std::size_t align) {
  void* p = Allocate(size, align);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace

void Start(bool failing) {
  g_live = 0;
  g_peak = 0;
  g_calls = 0;
  g_failing = failing;
  g_tracking = true;
}

Usage Stop() {
  g_tracking = false;
  g_failing = false;
  return Usage{g_peak.load(), g_calls.load()};
}

}  // namespace iptest::heap

using iptest::heap::Allocate;
using iptest::heap::AllocateOrThrow;
using iptest::heap::Release;

void* operator new(std::size_t n) { return AllocateOrThrow(n, 0); }
void* operator new[](std::size_t n) { return AllocateOrThrow(n, 0); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n, 0); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n, 0); }
void* operator new(std::size_t n, std::align_val_t a) { return AllocateOrThrow(n, static_cast<std::size_t>(a)); }
void* operator new[](std::size_t n, std::align_val_t a) { return AllocateOrThrow(n, static_cast<std::size_t>(a)); }
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
  return Allocate(n, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
  return Allocate(n, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { Release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }

