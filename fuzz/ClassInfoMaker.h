// Class-info dictionaries decoded from fuzz bytes: the real keys with values that are mostly of
// the right type and value, junk keys, parameter blobs of well-formed and broken groups, and
// element-name dictionaries with keys and values of every sort.
#pragma once

#include "CASavedParameters.h"
#include "FuzzObjects.h"

#include <array>
#include <cstring>
#include <string>

namespace fuzzsupport {

inline constexpr std::array<const char*, 10> kClassInfoKeys = {
    "version", "type",     "subtype",      "manufacturer",   "data",
    "name",    "cpu-load", "element-name", "render-quality", "part"};

inline void AppendBigEndian(std::vector<uint8_t>& bytes, uint32_t word) {
    bytes.resize(bytes.size() + CASavedParameters::kWordSize);
    CASavedParameters::EncodeWord(word, bytes.data() + bytes.size() - CASavedParameters::kWordSize);
}

inline uint32_t SmallOrAny(FuzzedDataProvider& in, uint32_t smallLimit) {
    return in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(0, smallLimit)
                            : in.ConsumeIntegral<uint32_t>();
}

// Groups of (scope, element, count, pairs); the count may disagree with the pairs that follow,
// and the blob may be cut short or carry trailing bytes.
inline std::vector<uint8_t> MakeParameterBlob(FuzzedDataProvider& in) {
    std::vector<uint8_t> blob;
    for (int groups = in.ConsumeIntegralInRange(0, 3); groups > 0; --groups) {
        AppendBigEndian(blob, SmallOrAny(in, 6));
        AppendBigEndian(blob, SmallOrAny(in, 3));
        const uint32_t pairs = in.ConsumeIntegralInRange<uint32_t>(0, 4);
        AppendBigEndian(blob, in.ConsumeBool() ? pairs : SmallOrAny(in, 8));
        for (uint32_t k = 0; k < pairs; ++k) {
            AppendBigEndian(blob, SmallOrAny(in, 3));
            AppendBigEndian(blob, in.ConsumeIntegral<uint32_t>());
        }
    }
    if (in.ConsumeBool()) {
        blob.resize(in.ConsumeIntegralInRange<size_t>(0, blob.size() + 4));
    }
    return blob;
}

// Scope keys naming dictionaries of element-index keys and names; any key may be junk text.
inline CFTypeRef MakeElementNames(ObjectPool& pool, FuzzedDataProvider& in) {
    const auto key = [&](uint32_t limit) {
        return MakeString(pool,
                          in.ConsumeIntegralInRange(0, 3) == 0
                              ? in.ConsumeRandomLengthString(34)
                              : std::to_string(in.ConsumeIntegralInRange<uint32_t>(0, limit)));
    };
    CFMutableDictionaryRef names = MakeDictionary(pool);
    for (int scopes = in.ConsumeIntegralInRange(0, 3); scopes > 0; --scopes) {
        const CFStringRef scopeKey = key(6);
        CFMutableDictionaryRef elements = MakeDictionary(pool);
        for (int n = in.ConsumeIntegralInRange(0, 3); n > 0; --n) {
            const CFStringRef elementKey = key(in.ConsumeBool() ? 4 : 1100);
            const CFTypeRef value = in.ConsumeIntegralInRange(0, 4) != 0
                                        ? MakeString(pool, in.ConsumeRandomLengthString(16))
                                        : MakeAnyObject(pool, in, 1);
            if (elementKey != nullptr && value != nullptr) {
                CFDictionarySetValue(elements, elementKey, value);
            }
        }
        const CFTypeRef scopeNames =
            in.ConsumeIntegralInRange(0, 5) != 0 ? elements : MakeAnyObject(pool, in, 1);
        if (scopeKey != nullptr && scopeNames != nullptr) {
            CFDictionarySetValue(names, scopeKey, scopeNames);
        }
    }
    return names;
}

inline CFNumberRef MakeInt32(ObjectPool& pool, int32_t value) {
    return pool.Adopt(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &value));
}

// The value of one real key: usually the type and value a saved state has, sometimes not.
inline CFTypeRef MakeClassInfoValue(ObjectPool& pool, FuzzedDataProvider& in,
                                    const std::string& key) {
    if (in.ConsumeIntegralInRange(0, 7) == 0) {
        return MakeAnyObject(pool, in, 2);
    }
    const AudioComponentDescription& desc = kQuenzalDescription;
    if (key == "version") {
        return MakeInt32(pool, in.ConsumeBool() ? 0 : in.ConsumeIntegral<int32_t>());
    }
    if (key == "type" || key == "subtype" || key == "manufacturer") {
        const OSType code = key == "type"      ? desc.componentType
                            : key == "subtype" ? desc.componentSubType
                                               : desc.componentManufacturer;
        return MakeInt32(pool, static_cast<int32_t>(in.ConsumeBool() ? code : SmallOrAny(in, 9)));
    }
    if (key == "data") {
        return MakeData(pool, MakeParameterBlob(in));
    }
    if (key == "element-name") {
        return MakeElementNames(pool, in);
    }
    if (key == "name") {
        return MakeString(pool, in.ConsumeRandomLengthString(32));
    }
    return MakeNumber(pool, in);
}

// Mostly a dictionary with most of the real keys and a few junk ones; now and then anything.
inline CFPropertyListRef MakeClassInfo(ObjectPool& pool, FuzzedDataProvider& in) {
    if (in.ConsumeIntegralInRange(0, 15) == 0) {
        return MakeAnyObject(pool, in, 2);
    }
    CFMutableDictionaryRef dict = MakeDictionary(pool);
    for (const char* key : kClassInfoKeys) {
        const bool wanted = std::strcmp(key, "part") == 0 ? in.ConsumeIntegralInRange(0, 7) == 0
                                                          : in.ConsumeIntegralInRange(0, 7) != 0;
        if (!wanted) {
            continue;
        }
        if (const CFTypeRef value = MakeClassInfoValue(pool, in, key)) {
            CFDictionarySetValue(dict, CFStringMakeConstantString(key), value);
        }
    }
    for (int junk = in.ConsumeIntegralInRange(0, 2); junk > 0; --junk) {
        const CFTypeRef key = MakeAnyObject(pool, in, 1);
        const CFTypeRef value = MakeAnyObject(pool, in, 1);
        if (key != nullptr && value != nullptr) {
            CFDictionarySetValue(dict, key, value);
        }
    }
    return dict;
}

} // namespace fuzzsupport
