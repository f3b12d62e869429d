// Allocation that throws std::bad_alloc instead of returning null.
#pragma once

#include <cstddef>

void* CA_malloc(std::size_t size);
// Reallocates; frees the old block when that fails, and throws when the result is null and size
// is not 0.
void* CA_realloc(void* old, std::size_t size);
