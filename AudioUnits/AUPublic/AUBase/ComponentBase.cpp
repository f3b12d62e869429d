#include "ComponentBase.h"

pthread_mutex_t ComponentInitLocker::sComponentOpenMutex = PTHREAD_MUTEX_INITIALIZER;

namespace {
constexpr const char* kSourceFile = "ComponentBase";
}

ComponentDescription ComponentBase::GetComponentDescription() const {
    const AudioComponent comp = AudioComponentInstanceGetComponent(mComponentInstance);
    if (comp == nullptr) {
        CAAssertFailed("comp");
        CARequireNoErrFailed("result = -1", -1, "home", kSourceFile, __LINE__);
        return ComponentDescription{};
    }
    ComponentDescription desc{};
    const OSStatus result = AudioComponentGetDescription(comp, &desc);
    if (result != noErr) {
        CARequireNoErrFailed("result = AudioComponentGetDescription(comp, &desc)", result, "home",
                             kSourceFile, __LINE__);
        return ComponentDescription{};
    }
    return desc;
}
