// The layout of the property-list objects, shared by the files that implement them.
#ifndef PLATFORM_SRC_PROPERTYLISTOBJECTS_H
#define PLATFORM_SRC_PROPERTYLISTOBJECTS_H

#include "Platform/PropertyList.h"

#include <atomic>
#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform_plist {

// A host may hand in any pointer; the tag lets every function refuse what is not one of ours.
constexpr uint32_t kObjectMagic = 0x504C4F42;

enum TypeID : CFTypeID {
    kStringTypeID = 1,
    kArrayTypeID,
    kDictionaryTypeID,
    kNumberTypeID,
    kDataTypeID,
};

struct KeyHash {
    size_t operator()(const void* key) const;
};
struct KeyEqual {
    bool operator()(const void* a, const void* b) const { return CFEqual(a, b) != 0; }
};

void objectCreated();
void objectDestroyed();

} // namespace platform_plist

// Common header of every object. Immortal objects (constant strings) ignore retain and release
// and are not counted as live.
struct PLObject {
    PLObject(CFTypeID typeID, bool isImmortal) : type(typeID), immortal(isImmortal) {
        if (!immortal)
            platform_plist::objectCreated();
    }
    ~PLObject() {
        if (!immortal)
            platform_plist::objectDestroyed();
    }
    PLObject(const PLObject&) = delete;
    PLObject& operator=(const PLObject&) = delete;

    uint32_t magic = platform_plist::kObjectMagic;
    CFTypeID type;
    std::atomic<long> retainCount{1};
    bool immortal;
};

struct PLString : PLObject {
    static constexpr CFTypeID kTypeID = platform_plist::kStringTypeID;
    PLString(std::string utf8, bool isImmortal)
        : PLObject(kTypeID, isImmortal), text(std::move(utf8)) {}
    std::string text;
};

struct PLArray : PLObject {
    static constexpr CFTypeID kTypeID = platform_plist::kArrayTypeID;
    PLArray(bool retains, bool isMutable)
        : PLObject(kTypeID, false), retainsValues(retains), growable(isMutable) {}
    std::vector<const void*> values;
    bool retainsValues;
    bool growable;
};

struct PLDictionary : PLObject {
    static constexpr CFTypeID kTypeID = platform_plist::kDictionaryTypeID;
    struct Entry {
        const void* key;
        const void* value;
    };
    using Entries = std::list<Entry>;
    PLDictionary(bool keys, bool values)
        : PLObject(kTypeID, false), retainsKeys(keys), retainsValues(values) {}
    Entries entries; // insertion order
    std::unordered_map<const void*, Entries::iterator, platform_plist::KeyHash,
                       platform_plist::KeyEqual>
        index;
    bool retainsKeys;
    bool retainsValues;
};

struct PLNumber : PLObject {
    static constexpr CFTypeID kTypeID = platform_plist::kNumberTypeID;
    explicit PLNumber(CFNumberType numberType) : PLObject(kTypeID, false), type(numberType) {}
    CFNumberType type;
    bool isReal = false;
    int64_t integer = 0;
    double real = 0.0;
};

struct PLData : PLObject {
    static constexpr CFTypeID kTypeID = platform_plist::kDataTypeID;
    explicit PLData(bool isMutable) : PLObject(kTypeID, false), growable(isMutable) {}
    std::vector<uint8_t> bytes;
    bool growable;
};

namespace platform_plist {

inline const PLObject* objectOf(CFTypeRef ref) {
    if (ref == nullptr || reinterpret_cast<uintptr_t>(ref) % alignof(PLObject) != 0)
        return nullptr;
    const auto* object = static_cast<const PLObject*>(ref);
    return object->magic == kObjectMagic ? object : nullptr;
}

// The object behind ref when it is of type T, else null.
template <class T> T* as(CFTypeRef ref) {
    const PLObject* object = objectOf(ref);
    if (object == nullptr || object->type != T::kTypeID)
        return nullptr;
    return static_cast<T*>(const_cast<PLObject*>(object));
}

bool dictionariesEqual(const PLDictionary& a, const PLDictionary& b);
bool numbersEqual(const PLNumber& a, const PLNumber& b);
size_t numberHash(const PLNumber& number);
void destroyDictionary(PLDictionary* dictionary);

} // namespace platform_plist

#endif
