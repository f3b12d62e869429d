/*
 * What the registry and the host calls share: the building of a selector block on the stack and
 * the call of an instance's entry through its handle.
 */
#ifndef PLATFORM_COMPONENTREGISTRY_H
#define PLATFORM_COMPONENTREGISTRY_H

#include "InstanceSlots.h"

#include "Platform/Components.h"

#include <cstddef>
#include <type_traits>

namespace platform {

// ComponentParameters with room for N words; a zero-word call still gets one (zero) word so that
// the array is never empty.
template <std::size_t N> struct SelectorBlock {
    UInt8 flags = 0;
    UInt8 paramSize = static_cast<UInt8>(N * sizeof(intptr_t));
    SInt16 what;
    intptr_t params[N == 0 ? 1 : N] = {};

    explicit SelectorBlock(SInt16 selector) : what(selector) {}
    ComponentParameters* AsParameters() { return reinterpret_cast<ComponentParameters*>(this); }
};
static_assert(offsetof(SelectorBlock<3>, params) == offsetof(ComponentParameters, params));
static_assert(offsetof(SelectorBlock<3>, what) == offsetof(ComponentParameters, what));

template <typename T> intptr_t ToWord(T value) {
    if constexpr (std::is_same_v<T, Float32>) {
        return ComponentWordFromFloat(value);
    } else if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<intptr_t>(value);
    } else {
        return static_cast<intptr_t>(value);
    }
}

// Calls the instance's entry with the arguments in call order; the block holds them last first.
template <typename... Args>
OSStatus InvokeEntry(ComponentRoutine entry, void* storage, SInt16 selector, Args... args) {
    SelectorBlock<sizeof...(Args)> block(selector);
    const intptr_t words[] = {0, ToWord(args)...};
    for (std::size_t i = 0; i < sizeof...(Args); ++i) {
        block.params[i] = words[sizeof...(Args) - i];
    }
    return entry(block.AsParameters(), storage);
}

// The same for a handle from a caller: a handle that names no open instance gives paramErr and
// calls nothing.
template <typename... Args>
OSStatus InvokeSelector(AudioComponentInstance instance, SInt16 selector, Args... args) {
    const std::optional<InstanceView> live = LiveInstance(instance);
    if (!live) {
        return paramErr;
    }
    return InvokeEntry(live->entry, live->storage, selector, args...);
}

} // namespace platform

#endif
