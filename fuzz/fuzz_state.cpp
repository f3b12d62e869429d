// Restores class-info dictionaries decoded from the input into one instance, then saves its state
// and restores that: a unit must take back whatever it saved, and saving again must give the same
// dictionary. Nothing may leak.
#include "ClassInfoMaker.h"

#include "Hosting/Unit.h"

#include <cstdio>
#include <cstdlib>

namespace {

using fuzzsupport::LiveObjectCheck;
using fuzzsupport::ObjectPool;

void Require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "saved state round trip: %s\n", what);
        std::abort();
    }
}

CFPropertyListRef SaveState(ObjectPool& pool, const hosting::Unit& unit) {
    CFPropertyListRef state = nullptr;
    UInt32 size = 0;
    const OSStatus status =
        unit.GetProperty(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, state, &size);
    Require(status == noErr && size == sizeof state && state != nullptr, "saving failed");
    return pool.Adopt(state);
}

OSStatus RestoreState(hosting::Unit& unit, CFPropertyListRef state) {
    return unit.SetProperty(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, state);
}

void RestoreThenRoundTrip(FuzzedDataProvider& in) {
    ObjectPool pool;
    hosting::Unit unit(fuzzsupport::QuenzalComponent());
    if (in.ConsumeBool()) {
        unit.Initialize();
    }
    for (int n = in.ConsumeIntegralInRange(1, 4); n > 0; --n) {
        RestoreState(unit, fuzzsupport::MakeClassInfo(pool, in));
    }
    const CFPropertyListRef saved = SaveState(pool, unit);
    Require(RestoreState(unit, saved) == noErr, "the unit refused its own saved state");
    Require(CFEqual(saved, SaveState(pool, unit)), "saving again gave another state");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const LiveObjectCheck live;
    RestoreThenRoundTrip(in);
    return 0;
}
