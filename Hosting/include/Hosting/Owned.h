// The owner of platform objects for hosts: the same owner the framework uses.
#pragma once

#include "CAAutoDisposer.h"

namespace hosting {

// Holds one reference and releases it however the scope is left. [any thread]
template <class Ref> using Owned = CFOwned<Ref>;

} // namespace hosting
