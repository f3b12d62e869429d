// What the fuzz targets share: the effect registered as a host registers it, property-list
// objects made from fuzz bytes, held so that every one is released at the end of an input, and
// the check that nothing was leaked.
#pragma once

#include "CAAutoDisposer.h"
#include "LinkedEffect.h"
#include "Platform/PropertyList.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace fuzzsupport {

// The linked-in effect, registered once for the process as the tests register it.
using testhost::kQuenzalDescription;
using testhost::QuenzalComponent;

// Owns one reference to each object added; releases them all when it goes.
class ObjectPool {
public:
    // Takes over the caller's reference; null passes through.
    template <class Ref> Ref Adopt(Ref object) {
        if (object != nullptr) {
            mObjects.emplace_back(object);
        }
        return object;
    }

private:
    std::vector<CFOwned<CFTypeRef>> mObjects;
};

// Aborts when the objects alive now are not those alive when it was made: a leak or a double
// release that the sanitizers would not see, because the platform counts its own objects.
class LiveObjectCheck {
public:
    LiveObjectCheck() : mStart(PlatformLiveObjectCount()) {}
    ~LiveObjectCheck() {
        const long now = PlatformLiveObjectCount();
        if (now != mStart) {
            std::fprintf(stderr, "property-list objects alive: %ld before, %ld after\n", mStart,
                         now);
            std::abort();
        }
    }
    LiveObjectCheck(const LiveObjectCheck&) = delete;
    LiveObjectCheck& operator=(const LiveObjectCheck&) = delete;

private:
    const long mStart;
};

inline CFStringRef MakeString(ObjectPool& pool, const std::string& text) {
    return pool.Adopt(
        CFStringCreateWithCString(kCFAllocatorDefault, text.c_str(), kCFStringEncodingUTF8));
}

// 32-bit integers and doubles: the two kinds a saved state holds.
inline CFNumberRef MakeNumber(ObjectPool& pool, FuzzedDataProvider& in) {
    if (in.ConsumeBool()) {
        const auto value = in.ConsumeIntegral<int32_t>();
        return pool.Adopt(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &value));
    }
    const double value = in.ConsumeFloatingPoint<double>();
    return pool.Adopt(CFNumberCreate(kCFAllocatorDefault, kCFNumberFloat64Type, &value));
}

inline CFDataRef MakeData(ObjectPool& pool, const std::vector<uint8_t>& bytes) {
    return pool.Adopt(
        CFDataCreate(kCFAllocatorDefault, bytes.data(), static_cast<CFIndex>(bytes.size())));
}

inline CFMutableDictionaryRef MakeDictionary(ObjectPool& pool) {
    return pool.Adopt(CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
}

// Any kind of object, containers nested at most depth levels; null now and then.
inline CFTypeRef MakeAnyObject(ObjectPool& pool, FuzzedDataProvider& in, int depth) {
    switch (in.ConsumeIntegralInRange(0, depth > 0 ? 5 : 3)) {
    case 0:
        return MakeString(pool, in.ConsumeRandomLengthString(24));
    case 1:
        return MakeNumber(pool, in);
    case 2:
        return MakeData(pool, in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 64)));
    case 3:
        return nullptr;
    case 4: {
        CFMutableArrayRef array =
            pool.Adopt(CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks));
        for (int n = in.ConsumeIntegralInRange(0, 4); n > 0; --n) {
            if (CFTypeRef value = MakeAnyObject(pool, in, depth - 1)) {
                CFArrayAppendValue(array, value);
            }
        }
        return array;
    }
    default: {
        CFMutableDictionaryRef dict = MakeDictionary(pool);
        for (int n = in.ConsumeIntegralInRange(0, 4); n > 0; --n) {
            const CFTypeRef key = MakeAnyObject(pool, in, depth - 1);
            const CFTypeRef value = MakeAnyObject(pool, in, depth - 1);
            if (key != nullptr && value != nullptr) {
                CFDictionarySetValue(dict, key, value);
            }
        }
        return dict;
    }
    }
}

} // namespace fuzzsupport
