#include "ValidateCommand.h"

#include "QuenzalHost.h"
#include "ValidationChecks.h"

#include <cstdio>

namespace quenzal {

int RunValidate(const ValidateOptions& options) {
    using namespace validation;
    const ComponentLocation location = FindComponent(options.component);
    const AudioComponent component = RegisterComponent(location);
    std::printf("validating %s\n", location.library.c_str());
    Battery battery(component);
    if (battery.Run(OpenCheck())) {
        for (auto group : {LifecycleChecks, FormatChecks, RenderChecks, ParameterChecks,
                           StateChecks, NotificationChecks, BadInputChecks, RealTimeChecks}) {
            for (const Check& check : group()) {
                battery.Run(check);
            }
        }
    }
    std::printf("%d passed, %d failed\n", battery.Passed(), battery.Failed());
    return battery.Failed() == 0 ? 0 : 1;
}

} // namespace quenzal
