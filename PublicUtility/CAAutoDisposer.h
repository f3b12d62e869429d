// Allocation that throws std::bad_alloc instead of returning null, and the one owner of
// reference-counted platform objects that the framework and every host share.
#pragma once

#include "Platform/PropertyList.h"

#include <cstddef>
#include <memory>
#include <type_traits>

void* CA_malloc(std::size_t size);
// Reallocates; frees the old block when that fails, and throws when the result is null and size
// is not 0.
void* CA_realloc(void* old, std::size_t size);

struct CFReleaser {
    // [any thread] Releases the one reference the owner holds; null is nothing to release.
    void operator()(CFTypeRef object) const {
        if (object != nullptr) {
            CFRelease(object);
        }
    }
};

// Holds one reference to a platform object and releases it however the scope is left.
template <class Ref> using CFOwned = std::unique_ptr<std::remove_pointer_t<Ref>, CFReleaser>;
