/*
 * What the registry and the host calls share: the instance record behind every instance handle,
 * and the building of a selector block on the stack.
 *
 * An instance handle points straight at its record so that calls from the render thread reach
 * the unit's entry without a look-up, a lock or an allocation.
 */
#ifndef PLATFORM_COMPONENTREGISTRY_H
#define PLATFORM_COMPONENTREGISTRY_H

#include "Platform/Components.h"

#include <cstddef>
#include <type_traits>

struct ComponentInstanceRecord {
    UInt32 tag;
    ComponentRoutine entry;
    void* storage;
    AudioComponent component;
};

namespace platform {

// Four-character codes are printable ASCII, so no description word can pass for this tag when a
// component handle or some other pointer is handed in where an instance is expected.
inline constexpr UInt32 kLiveInstanceTag = 0x9E3779B9u;

// The record of an open instance, or null for a null or plainly bogus handle.
inline ComponentInstanceRecord* LiveInstance(AudioComponentInstance instance) {
    if (instance == nullptr || instance->tag != kLiveInstanceTag) {
        return nullptr;
    }
    return instance;
}

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
OSStatus InvokeEntry(const ComponentInstanceRecord& record, SInt16 selector, Args... args) {
    SelectorBlock<sizeof...(Args)> block(selector);
    const intptr_t words[] = {0, ToWord(args)...};
    for (std::size_t i = 0; i < sizeof...(Args); ++i) {
        block.params[i] = words[sizeof...(Args) - i];
    }
    return record.entry(block.AsParameters(), record.storage);
}

// The same for a handle from a caller: null or bogus handles give paramErr and call nothing.
template <typename... Args>
OSStatus InvokeSelector(AudioComponentInstance instance, SInt16 selector, Args... args) {
    const ComponentInstanceRecord* record = LiveInstance(instance);
    if (record == nullptr) {
        return paramErr;
    }
    return InvokeEntry(*record, selector, args...);
}

} // namespace platform

#endif
