// A property-list object that quenzal owns, released however the scope is left.
#pragma once

#include "Platform/PropertyList.h"

#include <memory>
#include <type_traits>

namespace quenzal {

struct ReleaseObject {
    void operator()(const void* object) const { CFRelease(object); }
};

template <class Ref> using Owned = std::unique_ptr<std::remove_pointer_t<Ref>, ReleaseObject>;

} // namespace quenzal
