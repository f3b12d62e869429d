/*
 * The process-wide component registry and the life of instances.
 *
 * Registration, look-ups, opening and disposing run on control threads under one mutex. The
 * mutex is never held while a unit's entry runs: a unit asks for its own component and
 * description from inside its open call.
 */
#include "ComponentRegistry.h"

#include "Platform/Host.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

struct ComponentRecord {
    AudioComponentDescription description;
    ComponentRoutine entry;
    UInt32 version;
    bool registered;
    long openInstances;
};

namespace {

struct Registry {
    std::mutex mutex;
    // Registration order; an unregistered component stays here until its last instance closes,
    // so that the handle its instances hand out never dangles.
    std::vector<std::unique_ptr<ComponentRecord>> records;
};

// Never destroyed: hosts may dispose instances from their own static destructors.
Registry& TheRegistry() {
    static Registry& registry = *new Registry;
    return registry;
}

std::atomic<long> sOpenInstances{0};

using RecordIterator = std::vector<std::unique_ptr<ComponentRecord>>::iterator;

RecordIterator FindRecord(Registry& registry, AudioComponent component) {
    return std::find_if(registry.records.begin(), registry.records.end(),
                        [component](const auto& record) { return record.get() == component; });
}

bool IsKnown(Registry& registry, AudioComponent component) {
    return component != nullptr && FindRecord(registry, component) != registry.records.end();
}

bool FieldMatches(UInt32 wanted, UInt32 actual) {
    return wanted == 0 || wanted == actual;
}

bool Matches(const AudioComponentDescription& wanted, const AudioComponentDescription& actual) {
    const UInt32 mask = wanted.componentFlagsMask;
    return FieldMatches(wanted.componentType, actual.componentType) &&
           FieldMatches(wanted.componentSubType, actual.componentSubType) &&
           FieldMatches(wanted.componentManufacturer, actual.componentManufacturer) &&
           (wanted.componentFlags & mask) == (actual.componentFlags & mask);
}

// Drops a component that was unregistered once nothing refers to it any more.
void ForgetIfUnused(Registry& registry, RecordIterator position) {
    const ComponentRecord& record = **position;
    if (!record.registered && record.openInstances == 0) {
        registry.records.erase(position);
    }
}

// Only a registered component opens; the count keeps its record alive until the instance closes.
bool ReserveInstanceOf(AudioComponent component) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const RecordIterator position = FindRecord(registry, component);
    if (position == registry.records.end() || !(*position)->registered) {
        return false;
    }
    ++(*position)->openInstances;
    ++sOpenInstances;
    return true;
}

void ReleaseInstanceOf(AudioComponent component) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const RecordIterator position = FindRecord(registry, component);
    --(*position)->openInstances;
    --sOpenInstances;
    ForgetIfUnused(registry, position);
}

void ForgetInstance(const platform::InstanceView& instance) {
    platform::FreeSlot(instance);
    ReleaseInstanceOf(instance.component);
}

} // namespace

extern "C" {

AudioComponent PlatformRegisterComponent(const AudioComponentDescription* desc,
                                         ComponentRoutine entry, UInt32 version) {
    if (desc == nullptr || entry == nullptr) {
        return nullptr;
    }
    try {
        auto record =
            std::make_unique<ComponentRecord>(ComponentRecord{*desc, entry, version, true, 0});
        Registry& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        registry.records.push_back(std::move(record));
        return registry.records.back().get();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void PlatformUnregisterComponent(AudioComponent component) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const RecordIterator position = FindRecord(registry, component);
    if (position == registry.records.end()) {
        return;
    }
    (*position)->registered = false;
    ForgetIfUnused(registry, position);
}

AudioComponent AudioComponentFindNext(AudioComponent after, const AudioComponentDescription* desc) {
    if (desc == nullptr) {
        return nullptr;
    }
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    RecordIterator position = registry.records.begin();
    if (after != nullptr) {
        position = FindRecord(registry, after);
        if (position == registry.records.end()) {
            return nullptr;
        }
        ++position;
    }
    const auto found = std::find_if(position, registry.records.end(), [desc](const auto& record) {
        return record->registered && Matches(*desc, record->description);
    });
    return found == registry.records.end() ? nullptr : found->get();
}

UInt32 PlatformComponentVersion(AudioComponent component) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    return IsKnown(registry, component) ? component->version : 0;
}

OSStatus AudioComponentGetDescription(AudioComponent component,
                                      AudioComponentDescription* outDesc) {
    if (outDesc == nullptr) {
        return paramErr;
    }
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    if (!IsKnown(registry, component)) {
        return paramErr;
    }
    *outDesc = component->description;
    return noErr;
}

OSStatus AudioComponentInstanceNew(AudioComponent component, AudioComponentInstance* outInstance) {
    if (outInstance == nullptr) {
        return paramErr;
    }
    *outInstance = nullptr;
    if (!ReserveInstanceOf(component)) {
        return paramErr;
    }
    const AudioComponentInstance instance = platform::OpenSlot(component->entry, component);
    if (instance == nullptr) {
        ReleaseInstanceOf(component);
        return memFullErr;
    }
    const OSStatus status =
        platform::InvokeEntry(component->entry, nullptr, kComponentOpenSelect, instance);
    if (status != noErr) {
        if (const auto opened = platform::LiveInstance(instance)) {
            ForgetInstance(*opened);
        }
        return status;
    }
    *outInstance = instance;
    return noErr;
}

OSStatus AudioComponentInstanceDispose(AudioComponentInstance instance) {
    const std::optional<platform::InstanceView> live = platform::LiveInstance(instance);
    if (!live || !platform::ClaimForClosing(*live)) {
        return paramErr;
    }
    // Read again: the close probe may have forgotten the unit object since the look-up.
    void* const storage = live->slot->storage.load(std::memory_order_acquire);
    const OSStatus status = platform::InvokeEntry(live->entry, storage, kComponentCloseSelect);
    ForgetInstance(*live);
    return status;
}

long PlatformOpenInstanceCount(void) {
    return sOpenInstances.load();
}

OSStatus SetComponentInstanceStorage(ComponentInstance instance, void* storage) {
    return platform::StoreInstanceStorage(instance, storage) ? noErr : paramErr;
}

void* GetComponentInstanceStorage(ComponentInstance instance) {
    const std::optional<platform::InstanceView> live = platform::LiveInstance(instance);
    return live ? live->storage : nullptr;
}

AudioComponent AudioComponentInstanceGetComponent(AudioComponentInstance instance) {
    const std::optional<platform::InstanceView> live = platform::LiveInstance(instance);
    return live ? live->component : nullptr;
}

} // extern "C"
