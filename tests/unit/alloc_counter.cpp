// The replaced global allocation functions live in their own file, so that no
// test sees them inlined next to its own new-expressions.
#include "alloc_counter.h"

#include <cstddef>
#include <cstdlib>
#include <new>

namespace {
bool g_counting = false;
long g_allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
  if (g_counting) ++g_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
// The no-throw form (std::stable_sort's buffer uses it) must come from here
// too, or its memory would be freed by a delete it was not allocated for.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (g_counting) ++g_allocations;
  return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace alloc_counter {
void Start() {
  g_allocations = 0;
  g_counting = true;
}
long Stop() {
  g_counting = false;
  return g_allocations;
}
}  // namespace alloc_counter
