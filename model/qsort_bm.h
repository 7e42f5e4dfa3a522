// The system's own quicksort (Bentley-McIlroy, three-way partitioning), used
// by the collision sweep and the overlay ordering. Not stable.
#pragma once

#include <cstddef>

typedef int (*QsortCompare)(const void* a, const void* b);

// Sorts count elements of size bytes each at base, ascending by compare
// (negative, zero or positive).
void qsortBM(void* base, size_t count, size_t size, QsortCompare compare);
