// Reference counting, identity and equality of property-list objects, and the string, array and
// data objects. Allocation failures propagate as std::bad_alloc, which the unit's entry points
// map to an out-of-memory status.
#include "PropertyListObjects.h"
#include "Utf8.h"

#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>

using namespace platform_plist;

namespace {

std::atomic<long> gLiveObjects{0};

void destroy(PLObject* object) {
    switch (object->type) {
    case kStringTypeID:
        delete static_cast<PLString*>(object);
        break;
    case kArrayTypeID: {
        auto* array = static_cast<PLArray*>(object);
        if (array->retainsValues) {
            for (const void* value : array->values)
                CFRelease(value);
        }
        delete array;
        break;
    }
    case kDictionaryTypeID:
        destroyDictionary(static_cast<PLDictionary*>(object));
        break;
    case kNumberTypeID:
        delete static_cast<PLNumber*>(object);
        break;
    case kDataTypeID:
        delete static_cast<PLData*>(object);
        break;
    }
}

bool arraysEqual(const PLArray& a, const PLArray& b) {
    if (a.values.size() != b.values.size())
        return false;
    for (size_t i = 0; i < a.values.size(); ++i) {
        if (!CFEqual(a.values[i], b.values[i]))
            return false;
    }
    return true;
}

std::string_view bytesOf(const PLData& data) {
    return {reinterpret_cast<const char*>(data.bytes.data()), data.bytes.size()};
}

bool isSupportedEncoding(CFStringEncoding encoding) {
    return encoding == kCFStringEncodingASCII || encoding == kCFStringEncodingUTF8;
}

bool isValidText(std::string_view text, CFStringEncoding encoding) {
    if (encoding == kCFStringEncodingASCII)
        return platform_utf8::asciiPrefixLength(text) == text.size();
    return encoding == kCFStringEncodingUTF8 && platform_utf8::isValid(text);
}

// Interned constant strings; never destroyed, so they stay valid during static destruction.
struct ConstantStrings {
    std::mutex mutex;
    std::unordered_map<std::string, PLString*> byText;
};

ConstantStrings& constantStrings() {
    static auto* strings = new ConstantStrings;
    return *strings;
}

} // namespace

namespace platform_plist {

void objectCreated() {
    gLiveObjects.fetch_add(1, std::memory_order_relaxed);
}
void objectDestroyed() {
    gLiveObjects.fetch_sub(1, std::memory_order_relaxed);
}

size_t KeyHash::operator()(const void* key) const {
    const PLObject* object = objectOf(key);
    if (object == nullptr)
        return std::hash<const void*>{}(key);
    switch (object->type) {
    case kStringTypeID:
        return std::hash<std::string_view>{}(static_cast<const PLString*>(object)->text);
    case kNumberTypeID:
        return numberHash(*static_cast<const PLNumber*>(object));
    case kDataTypeID:
        return std::hash<std::string_view>{}(bytesOf(*static_cast<const PLData*>(object)));
    case kArrayTypeID:
        return static_cast<const PLArray*>(object)->values.size();
    default:
        return static_cast<const PLDictionary*>(object)->entries.size();
    }
}

} // namespace platform_plist

extern "C" {

const CFArrayCallBacks kCFTypeArrayCallBacks = {1};
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {1};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {1};

CFTypeRef CFRetain(CFTypeRef ref) {
    PLObject* object = const_cast<PLObject*>(objectOf(ref));
    if (object == nullptr)
        return nullptr;
    if (!object->immortal)
        object->retainCount.fetch_add(1, std::memory_order_relaxed);
    return ref;
}

void CFRelease(CFTypeRef ref) {
    PLObject* object = const_cast<PLObject*>(objectOf(ref));
    if (object == nullptr || object->immortal)
        return;
    if (object->retainCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
        destroy(object);
}

CFIndex CFGetRetainCount(CFTypeRef ref) {
    const PLObject* object = objectOf(ref);
    if (object == nullptr)
        return 0;
    return object->immortal ? LONG_MAX : object->retainCount.load(std::memory_order_relaxed);
}

CFTypeID CFGetTypeID(CFTypeRef ref) {
    const PLObject* object = objectOf(ref);
    return object != nullptr ? object->type : 0;
}

CFBoolean_t CFEqual(CFTypeRef a, CFTypeRef b) {
    if (a == b)
        return a != nullptr;
    const PLObject* first = objectOf(a);
    const PLObject* second = objectOf(b);
    if (first == nullptr || second == nullptr || first->type != second->type)
        return false;
    switch (first->type) {
    case kStringTypeID:
        return static_cast<const PLString*>(first)->text ==
               static_cast<const PLString*>(second)->text;
    case kArrayTypeID:
        return arraysEqual(*static_cast<const PLArray*>(first),
                           *static_cast<const PLArray*>(second));
    case kDictionaryTypeID:
        return dictionariesEqual(*static_cast<const PLDictionary*>(first),
                                 *static_cast<const PLDictionary*>(second));
    case kNumberTypeID:
        return numbersEqual(*static_cast<const PLNumber*>(first),
                            *static_cast<const PLNumber*>(second));
    default:
        return bytesOf(*static_cast<const PLData*>(first)) ==
               bytesOf(*static_cast<const PLData*>(second));
    }
}

CFTypeID CFStringGetTypeID(void) {
    return kStringTypeID;
}
CFTypeID CFArrayGetTypeID(void) {
    return kArrayTypeID;
}
CFTypeID CFDictionaryGetTypeID(void) {
    return kDictionaryTypeID;
}
CFTypeID CFNumberGetTypeID(void) {
    return kNumberTypeID;
}
CFTypeID CFDataGetTypeID(void) {
    return kDataTypeID;
}

long PlatformLiveObjectCount(void) {
    return gLiveObjects.load(std::memory_order_relaxed);
}

// ---- strings ----

CFStringRef CFStringMakeConstantString(const char* cStr) {
    if (cStr == nullptr || !platform_utf8::isValid(cStr))
        return nullptr;
    ConstantStrings& strings = constantStrings();
    std::lock_guard<std::mutex> lock(strings.mutex);
    PLString*& interned = strings.byText[cStr];
    if (interned == nullptr)
        interned = new PLString(cStr, true);
    return interned;
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding) {
    if (cStr == nullptr || !isValidText(cStr, encoding))
        return nullptr;
    return new PLString(cStr, false);
}

CFBoolean_t CFStringGetCString(CFStringRef str, char* buffer, CFIndex bufferSize,
                               CFStringEncoding encoding) {
    const PLString* string = as<PLString>(str);
    if (string == nullptr || buffer == nullptr || bufferSize <= 0 || !isSupportedEncoding(encoding))
        return false;
    const std::string_view text = string->text;
    const size_t expressible =
        encoding == kCFStringEncodingASCII ? platform_utf8::asciiPrefixLength(text) : text.size();
    const size_t written = platform_utf8::prefixFitting(text.substr(0, expressible),
                                                        static_cast<size_t>(bufferSize) - 1);
    std::memcpy(buffer, text.data(), written);
    buffer[written] = '\0';
    return written == text.size();
}

CFIndex CFStringGetLength(CFStringRef str) {
    const PLString* string = as<PLString>(str);
    return string != nullptr ? static_cast<CFIndex>(string->text.size()) : 0;
}

const char* PlatformStringUTF8(CFStringRef str) {
    const PLString* string = as<PLString>(str);
    return string != nullptr ? string->text.c_str() : nullptr;
}

// ---- arrays ----

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex count,
                         const CFArrayCallBacks* callBacks) {
    if (count < 0 || (values == nullptr && count > 0))
        return nullptr;
    auto array = std::make_unique<PLArray>(callBacks != nullptr && callBacks->retainsValues, false);
    array->values.assign(values, values + count);
    if (array->retainsValues) {
        for (const void* value : array->values)
            CFRetain(value);
    }
    return array.release();
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex capacity,
                                       const CFArrayCallBacks* callBacks) {
    if (capacity < 0)
        return nullptr;
    return new PLArray(callBacks != nullptr && callBacks->retainsValues, true);
}

void CFArrayAppendValue(CFMutableArrayRef arrayRef, const void* value) {
    PLArray* array = as<PLArray>(arrayRef);
    if (array == nullptr || !array->growable)
        return;
    array->values.push_back(value);
    if (array->retainsValues)
        CFRetain(value);
}

CFIndex CFArrayGetCount(CFArrayRef arrayRef) {
    const PLArray* array = as<PLArray>(arrayRef);
    return array != nullptr ? static_cast<CFIndex>(array->values.size()) : 0;
}

const void* CFArrayGetValueAtIndex(CFArrayRef arrayRef, CFIndex index) {
    const PLArray* array = as<PLArray>(arrayRef);
    if (array == nullptr || index < 0 || static_cast<size_t>(index) >= array->values.size())
        return nullptr;
    return array->values[static_cast<size_t>(index)];
}

// ---- data ----

CFDataRef CFDataCreate(CFAllocatorRef, const uint8_t* bytes, CFIndex length) {
    if (length < 0 || (bytes == nullptr && length > 0))
        return nullptr;
    auto data = std::make_unique<PLData>(false);
    data->bytes.assign(bytes, bytes + length);
    return data.release();
}

CFMutableDataRef CFDataCreateMutable(CFAllocatorRef, CFIndex capacity) {
    if (capacity < 0)
        return nullptr;
    return new PLData(true);
}

void CFDataAppendBytes(CFMutableDataRef dataRef, const uint8_t* bytes, CFIndex length) {
    PLData* data = as<PLData>(dataRef);
    if (data == nullptr || !data->growable || bytes == nullptr || length <= 0)
        return;
    // The source may lie inside this very buffer, which growing would move.
    const std::vector<uint8_t> appended(bytes, bytes + length);
    data->bytes.insert(data->bytes.end(), appended.begin(), appended.end());
}

const uint8_t* CFDataGetBytePtr(CFDataRef dataRef) {
    static const uint8_t kNoBytes = 0;
    const PLData* data = as<PLData>(dataRef);
    if (data == nullptr)
        return nullptr;
    // Never null for an empty object, so that callers may pass it to memcpy with length 0.
    return data->bytes.empty() ? &kNoBytes : data->bytes.data();
}

CFIndex CFDataGetLength(CFDataRef dataRef) {
    const PLData* data = as<PLData>(dataRef);
    return data != nullptr ? static_cast<CFIndex>(data->bytes.size()) : 0;
}

} // extern "C"
