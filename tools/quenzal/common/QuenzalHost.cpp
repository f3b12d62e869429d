#include "QuenzalHost.h"

namespace quenzal {

ComponentLocation FindComponent(const std::string& explicitPath) {
    return hosting::FindComponent(explicitPath,
                                  {QUENZAL_COMPONENT_LIBRARY, QUENZAL_INSTALLED_COMPONENT_DIR,
                                   QUENZAL_BUILD_COMPONENT_DIR, "(use --component PATH)"});
}

AudioComponent RegisterComponent(const ComponentLocation& location) {
    return hosting::RegisterComponentLibrary(location).Release();
}

} // namespace quenzal
