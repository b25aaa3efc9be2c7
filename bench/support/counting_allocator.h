#pragma once
// Counts the heap allocations of a benchmark program: the global operator new
// is replaced (counting_allocator.cpp, linked into every benchmark), so a
// benchmark can check that its hot path allocates nothing.
#include <atomic>

namespace vireluz::bench {

// Allocations made through operator new since the program started.
long allocations();

}  // namespace vireluz::bench
