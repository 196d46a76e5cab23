// Heap activity of a piece of code, for tests that prove it allocates
// nothing. Three witnesses, each blind where another sees:
//
//   - every call of the global operator new and operator delete, in all
//     their forms, which this header replaces with counting versions: an
//     allocation is seen even when it is released before the code returns;
//   - glibc's mallinfo2(): the bytes in use from the arena and from mmap,
//     which also sees storage that C code (the C library included) takes
//     with malloc and keeps;
//   - every call of malloc, calloc, realloc and free, which this header
//     defines in front of the C library's (which they call): C code's
//     allocations are seen even when released at once (not under
//     AddressSanitizer, which brings its own malloc).
//
// Use: heap_activity([&] { code(); }).none(). The lambda must capture by
// reference so that calling it allocates nothing itself.
//
// Include this header in exactly one source file of a test executable: a
// program may define the replacement operators only once.
#pragma once

#include <malloc.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace geneig::test {

inline std::atomic<long long> new_calls{0};
inline std::atomic<long long> delete_calls{0};
inline std::atomic<long long> malloc_calls{0};

// AddressSanitizer serves malloc from an allocator of its own, which
// mallinfo2() does not see; only the operator counts witness there.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kMallinfoSeesMalloc = false;
#else
inline constexpr bool kMallinfoSeesMalloc = true;
#endif

// What changed on the heap while a piece of code ran.
struct HeapActivity {
  long long new_calls;     // calls of operator new (any form)
  long long delete_calls;  // calls of operator delete on a non-null pointer
  long long arena_bytes;   // change of the bytes in use from malloc's arena
  long long mmap_bytes;    // change of the bytes in use from mmap'ed chunks
  long long malloc_calls;  // calls of the C library's malloc family

  bool none() const {
    return new_calls == 0 && delete_calls == 0 && arena_bytes == 0 && mmap_bytes == 0 &&
           malloc_calls == 0;
  }
};

struct HeapReading {
  long long new_calls;
  long long delete_calls;
  std::size_t arena_bytes;
  std::size_t mmap_bytes;
  long long malloc_calls;
};

inline HeapReading read_heap() {
  const long long calls = malloc_calls.load();  // before mallinfo2, which may allocate
  const struct mallinfo2 info = mallinfo2();
  return {new_calls.load(), delete_calls.load(), info.uordblks, info.hblkhd, calls};
}

// Runs f() between two readings of the heap and returns the difference.
template <class F>
HeapActivity heap_activity(F&& f) {
  const HeapReading before = read_heap();
  f();
  const HeapReading after = read_heap();
  return {after.new_calls - before.new_calls, after.delete_calls - before.delete_calls,
          static_cast<long long>(after.arena_bytes) - static_cast<long long>(before.arena_bytes),
          static_cast<long long>(after.mmap_bytes) - static_cast<long long>(before.mmap_bytes),
          after.malloc_calls - before.malloc_calls};
}

// The storage behind every replaced operator: malloc, or aligned_alloc for
// over-aligned types (whose size must be a multiple of the alignment).
// Returns null on failure; the throwing forms turn that into bad_alloc.
inline void* counted_allocate(std::size_t size,
                              std::size_t align = alignof(std::max_align_t)) noexcept {
  new_calls.fetch_add(1, std::memory_order_relaxed);
  if (size == 0) size = 1;
  if (align <= alignof(std::max_align_t)) return std::malloc(size);
  return std::aligned_alloc(align, (size + align - 1) / align * align);
}

inline void* counted_allocate_or_throw(std::size_t size,
                                       std::size_t align = alignof(std::max_align_t)) {
  if (void* p = counted_allocate(size, align)) return p;
  throw std::bad_alloc();
}

inline void counted_release(void* p) noexcept {
  if (p == nullptr) return;
  delete_calls.fetch_add(1, std::memory_order_relaxed);
  std::free(p);
}

}  // namespace geneig::test

#if !defined(__SANITIZE_ADDRESS__)
// The C library's allocation functions, counted.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t n) {
  geneig::test::malloc_calls.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(n);
}
void* calloc(std::size_t count, std::size_t n) {
  geneig::test::malloc_calls.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(count, n);
}
void* realloc(void* p, std::size_t n) {
  geneig::test::malloc_calls.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, n);
}
void free(void* p) {
  if (p) geneig::test::malloc_calls.fetch_add(1, std::memory_order_relaxed);
  __libc_free(p);
}
}
#endif

// The replaceable global allocation and deallocation functions.
void* operator new(std::size_t n) { return geneig::test::counted_allocate_or_throw(n); }
void* operator new[](std::size_t n) { return geneig::test::counted_allocate_or_throw(n); }
void* operator new(std::size_t n, std::align_val_t a) {
  return geneig::test::counted_allocate_or_throw(n, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t n, std::align_val_t a) {
  return geneig::test::counted_allocate_or_throw(n, static_cast<std::size_t>(a));
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  return geneig::test::counted_allocate(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  return geneig::test::counted_allocate(n);
}
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
  return geneig::test::counted_allocate(n, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
  return geneig::test::counted_allocate(n, static_cast<std::size_t>(a));
}

void operator delete(void* p) noexcept { geneig::test::counted_release(p); }
void operator delete[](void* p) noexcept { geneig::test::counted_release(p); }
void operator delete(void* p, std::size_t) noexcept { geneig::test::counted_release(p); }
void operator delete[](void* p, std::size_t) noexcept { geneig::test::counted_release(p); }
void operator delete(void* p, std::align_val_t) noexcept { geneig::test::counted_release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { geneig::test::counted_release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  geneig::test::counted_release(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
  geneig::test::counted_release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept { geneig::test::counted_release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  geneig::test::counted_release(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
  geneig::test::counted_release(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
  geneig::test::counted_release(p);
}
