/*
 * The instance behind an instance handle.
 *
 * A handle holds no address: it is a slot number and the generation the slot had when the
 * instance opened. Disposing moves the slot to its next generation, so a handle that outlived its
 * instance, or one that was never issued, names a generation the slot does not have and reaches
 * nothing, even when the slot serves an instance opened later. Slots are never freed, so checking
 * a handle reads only memory that stays valid; the check takes no lock, so calls from the render
 * thread stay lock-free.
 */
#ifndef PLATFORM_INSTANCESLOTS_H
#define PLATFORM_INSTANCESLOTS_H

#include "Platform/AudioTypes.h"

#include <atomic>
#include <climits>
#include <cstdint>
#include <optional>

namespace platform {

// A generation word: a count in the high bits and the slot's state in the two low bits.
inline constexpr UInt32 kSlotFree = 0;
inline constexpr UInt32 kSlotOpen = 1;
// Set on an open slot while it closes: still open to calls (a unit may ask for its own storage
// while it closes), but no longer to a second dispose.
inline constexpr UInt32 kClosingBit = 2;
inline constexpr UInt32 kSlotStateBits = 2;
inline constexpr UInt32 kSlotStateMask = (1u << kSlotStateBits) - 1;

// The slot number takes the low bits of a handle and the generation word the rest: on 32-bit
// targets 16384 instances open at once, each slot serving 65535 of them before it retires.
inline constexpr unsigned kSlotIndexBits = sizeof(void*) >= 8 ? 20 : 14;
inline constexpr UInt32 kMaxSlots = 1u << kSlotIndexBits;
inline constexpr unsigned kGenerationBits =
    sizeof(uintptr_t) * CHAR_BIT - kSlotIndexBits >= 32
        ? 32
        : unsigned(sizeof(uintptr_t) * CHAR_BIT - kSlotIndexBits);
// A slot whose count reaches this retires rather than repeat a generation an old handle holds.
inline constexpr UInt32 kRetiringCount =
    UInt32((uint64_t{1} << (kGenerationBits - kSlotStateBits)) - 1);
inline constexpr UInt32 kSlotsPerChunk = 256;

struct InstanceSlot {
    std::atomic<UInt32> generation{kSlotFree};
    std::atomic<ComponentRoutine> entry{nullptr};
    std::atomic<void*> storage{nullptr};
    std::atomic<AudioComponent> component{nullptr};
};

// What a live handle reaches, read as one consistent whole.
struct InstanceView {
    UInt32 index;
    InstanceSlot* slot;
    UInt32 generation;
    ComponentRoutine entry;
    void* storage;
    AudioComponent component;
};

// Chunks of slots, published once and never freed.
extern std::atomic<InstanceSlot*> gSlotChunks[kMaxSlots / kSlotsPerChunk];

inline AudioComponentInstance HandleOf(UInt32 index, UInt32 generation) {
    return reinterpret_cast<AudioComponentInstance>(uintptr_t{generation} << kSlotIndexBits |
                                                    index);
}

// [any thread, lock-free] The instance a handle names while it is open (or closing), or nothing.
inline std::optional<InstanceView> LiveInstance(AudioComponentInstance handle) {
    const auto bits = reinterpret_cast<uintptr_t>(handle);
    const UInt32 index = UInt32(bits & (kMaxSlots - 1));
    const uintptr_t generation = bits >> kSlotIndexBits;
    if ((generation & kSlotStateMask) != kSlotOpen || generation >> (kGenerationBits - 1) >> 1) {
        return std::nullopt;
    }
    InstanceSlot* chunk = gSlotChunks[index / kSlotsPerChunk].load(std::memory_order_acquire);
    if (chunk == nullptr) {
        return std::nullopt;
    }
    InstanceSlot& slot = chunk[index % kSlotsPerChunk];
    const UInt32 before = slot.generation.load(std::memory_order_acquire);
    if ((before & ~kClosingBit) != generation) {
        return std::nullopt;
    }
    // Acquire loads, so that the second look at the generation cannot come before them: a slot
    // recycled meanwhile shows a new generation, and its fields are not taken for this handle's.
    const InstanceView view{index,
                            &slot,
                            before,
                            slot.entry.load(std::memory_order_acquire),
                            slot.storage.load(std::memory_order_acquire),
                            slot.component.load(std::memory_order_acquire)};
    if (slot.generation.load(std::memory_order_relaxed) != before) {
        return std::nullopt;
    }
    return view;
}

// [control thread] A free slot, open to calls under a new handle; null when none is left or
// memory ran out.
AudioComponentInstance OpenSlot(ComponentRoutine entry, AudioComponent component);
// [control thread] Claims an open instance for disposal; false when it is not open or another
// dispose claimed it first.
bool ClaimForClosing(const InstanceView& instance);
// [control thread] Moves a slot to its next generation; every handle to it is refused from now on.
void FreeSlot(const InstanceView& instance);
// [control thread] Stores the unit object of a live instance; false for any other handle.
bool StoreInstanceStorage(AudioComponentInstance handle, void* storage);

} // namespace platform

#endif
