/*
 * The slots behind instance handles. Slots are handed out and taken back on control threads
 * under one mutex; handles are checked without it (InstanceSlots.h).
 */
#include "InstanceSlots.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <vector>

namespace platform {

std::atomic<InstanceSlot*> gSlotChunks[kMaxSlots / kSlotsPerChunk];

namespace {

struct SlotPool {
    std::mutex mutex;
    UInt32 slotsMade = 0;
    // Room for every slot made, so that freeing one never allocates.
    std::vector<UInt32> freeSlots;
};

// Never destroyed: hosts may dispose instances from their own static destructors.
SlotPool& ThePool() {
    static SlotPool& pool = *new SlotPool;
    return pool;
}

InstanceSlot& SlotAt(UInt32 index) {
    InstanceSlot* chunk = gSlotChunks[index / kSlotsPerChunk].load(std::memory_order_relaxed);
    return chunk[index % kSlotsPerChunk];
}

// A slot never used before; the first slot of a chunk makes and publishes the chunk.
std::optional<UInt32> MakeSlot(SlotPool& pool) {
    const UInt32 index = pool.slotsMade;
    if (index == kMaxSlots) {
        return std::nullopt;
    }
    try {
        if (pool.freeSlots.capacity() <= index) {
            pool.freeSlots.reserve(std::max<std::size_t>(64, 2 * pool.freeSlots.capacity()));
        }
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (index % kSlotsPerChunk == 0) {
        auto* chunk = new (std::nothrow) InstanceSlot[kSlotsPerChunk];
        if (chunk == nullptr) {
            return std::nullopt;
        }
        gSlotChunks[index / kSlotsPerChunk].store(chunk, std::memory_order_release);
    }
    ++pool.slotsMade;
    return index;
}

std::optional<UInt32> TakeSlot(SlotPool& pool) {
    if (pool.freeSlots.empty()) {
        return MakeSlot(pool);
    }
    const UInt32 index = pool.freeSlots.back();
    pool.freeSlots.pop_back();
    return index;
}

} // namespace

AudioComponentInstance OpenSlot(ComponentRoutine entry, AudioComponent component) {
    SlotPool& pool = ThePool();
    std::lock_guard lock(pool.mutex);
    const std::optional<UInt32> index = TakeSlot(pool);
    if (!index) {
        return nullptr;
    }
    InstanceSlot& slot = SlotAt(*index);
    slot.entry.store(entry, std::memory_order_release);
    slot.storage.store(nullptr, std::memory_order_release);
    slot.component.store(component, std::memory_order_release);
    const UInt32 generation = slot.generation.load(std::memory_order_relaxed) | kSlotOpen;
    slot.generation.store(generation, std::memory_order_release);
    return HandleOf(*index, generation);
}

bool ClaimForClosing(const InstanceView& instance) {
    UInt32 expected = instance.generation;
    return (expected & kClosingBit) == 0 &&
           instance.slot->generation.compare_exchange_strong(expected, expected | kClosingBit,
                                                             std::memory_order_acq_rel);
}

void FreeSlot(const InstanceView& instance) {
    SlotPool& pool = ThePool();
    std::lock_guard lock(pool.mutex);
    InstanceSlot& slot = *instance.slot;
    const UInt32 count = (slot.generation.load(std::memory_order_relaxed) >> kSlotStateBits) + 1;
    slot.storage.store(nullptr, std::memory_order_release);
    slot.generation.store(count << kSlotStateBits | kSlotFree, std::memory_order_release);
    if (count < kRetiringCount) {
        pool.freeSlots.push_back(instance.index);
    }
}

bool StoreInstanceStorage(AudioComponentInstance handle, void* storage) {
    SlotPool& pool = ThePool();
    std::lock_guard lock(pool.mutex);
    const std::optional<InstanceView> instance = LiveInstance(handle);
    if (!instance) {
        return false;
    }
    instance->slot->storage.store(storage, std::memory_order_release);
    return true;
}

} // namespace platform
