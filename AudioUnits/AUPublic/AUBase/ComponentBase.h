// The base of every component instance: its platform handle, the open lock, and the entry-point
// template that creates the unit on open and traps every failure into a status.
#pragma once

#include "CAException.h"
#include "Platform/Components.h"

#include <pthread.h>

class ComponentBase {
public:
    explicit ComponentBase(ComponentInstance instance) : mComponentInstance(instance) {}
    // [control thread, close] Owner: the entry point, which deletes the unit after PreDestructor.
    virtual ~ComponentBase() = default;
    // [control thread, open, under the open lock] Runs once right after construction.
    virtual void PostConstructor() {}
    // [control thread, close] Runs once right before destruction.
    virtual void PreDestructor() {}
    // [any thread] The component version reported by the version selector: by default the one
    // the entry point was given, so that it cannot drift from the registered one.
    virtual OSStatus Version() { return mVersion; }

    ComponentInstance GetComponentInstance() const { return mComponentInstance; }
    // The platform's description of this component; all zero (with diagnostics) when unknown.
    ComponentDescription GetComponentDescription() const;

    // Close, can-do, version, and the refusal of every selector no other layer serves.
    static OSStatus ComponentEntryDispatch(ComponentParameters* params, ComponentBase* obj);

private:
    template <class Class> friend class ComponentEntryPoint;

    ComponentInstance mComponentInstance;
    OSStatus mVersion = 1;
};

// Serialises instance creation process-wide.
class ComponentInitLocker {
public:
    ComponentInitLocker() { pthread_mutex_lock(&sComponentOpenMutex); }
    ~ComponentInitLocker() { pthread_mutex_unlock(&sComponentOpenMutex); }
    ComponentInitLocker(const ComponentInitLocker&) = delete;
    ComponentInitLocker& operator=(const ComponentInitLocker&) = delete;

    static pthread_mutex_t sComponentOpenMutex;
};

// The entry point of a component class: open constructs the unit under the open lock and hands
// it the component's version; every other selector goes to the class's ComponentEntryDispatch.
// Nothing thrown escapes.
template <class Class> class ComponentEntryPoint {
public:
    static OSStatus Dispatch(ComponentParameters* params, Class* obj, UInt32 version = 1) {
        return CATrapStatus([&]() -> OSStatus {
            if (params == nullptr) {
                return paramErr;
            }
            if (params->what == kComponentOpenSelect) {
                return Open(reinterpret_cast<ComponentInstance>(params->params[0]), version);
            }
            return Class::ComponentEntryDispatch(params, obj);
        });
    }

private:
    static OSStatus Open(ComponentInstance instance, UInt32 version) {
        ComponentInitLocker lock;
        Class* unit = new Class(instance);
        static_cast<ComponentBase*>(unit)->mVersion = static_cast<OSStatus>(version);
        try {
            unit->PostConstructor();
        } catch (...) {
            delete unit;
            throw;
        }
        const OSStatus status = SetComponentInstanceStorage(instance, unit);
        if (status != noErr) {
            delete unit;
        }
        return status;
    }
};

// The exported entry of a component whose unit is Class, in one line of the author's source:
//     AUPUBLIC_COMPONENT_ENTRY(MyGain, MyGainEntry)
// aupublic_add_component defines AUPUBLIC_COMPONENT_VERSION from its VERSION argument.
#define AUPUBLIC_COMPONENT_ENTRY(Class, Entry)                                                     \
    extern "C" __attribute__((visibility("default"))) OSStatus Entry(ComponentParameters* params,  \
                                                                     Class* obj) {                 \
        return ComponentEntryPoint<Class>::Dispatch(params, obj, AUPUBLIC_COMPONENT_VERSION);      \
    }
