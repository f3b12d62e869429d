// Dictionaries: hashed look-up by key equality, entries kept in insertion order.
#include "PropertyListObjects.h"

using namespace platform_plist;

namespace {

const PLDictionary::Entry* findEntry(const PLDictionary& dictionary, const void* key) {
    const auto found = dictionary.index.find(key);
    return found != dictionary.index.end() ? &*found->second : nullptr;
}

void retainIf(bool retains, const void* object) {
    if (retains)
        CFRetain(object);
}

void releaseIf(bool retains, const void* object) {
    if (retains)
        CFRelease(object);
}

void insertEntry(PLDictionary& dictionary, const void* key, const void* value) {
    dictionary.entries.push_back({key, value});
    try {
        dictionary.index.emplace(key, std::prev(dictionary.entries.end()));
    } catch (...) {
        dictionary.entries.pop_back();
        throw;
    }
    retainIf(dictionary.retainsKeys, key);
    retainIf(dictionary.retainsValues, value);
}

} // namespace

namespace platform_plist {

bool dictionariesEqual(const PLDictionary& a, const PLDictionary& b) {
    if (a.entries.size() != b.entries.size())
        return false;
    for (const PLDictionary::Entry& entry : a.entries) {
        const PLDictionary::Entry* other = findEntry(b, entry.key);
        if (other == nullptr || !CFEqual(entry.value, other->value))
            return false;
    }
    return true;
}

void destroyDictionary(PLDictionary* dictionary) {
    for (const PLDictionary::Entry& entry : dictionary->entries) {
        releaseIf(dictionary->retainsKeys, entry.key);
        releaseIf(dictionary->retainsValues, entry.value);
    }
    delete dictionary;
}

} // namespace platform_plist

extern "C" {

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex capacity,
                                                 const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks) {
    if (capacity < 0)
        return nullptr;
    return new PLDictionary(keyCallBacks != nullptr && keyCallBacks->retainsKeys,
                            valueCallBacks != nullptr && valueCallBacks->retainsValues);
}

void CFDictionarySetValue(CFMutableDictionaryRef dictRef, const void* key, const void* value) {
    PLDictionary* dictionary = as<PLDictionary>(dictRef);
    if (dictionary == nullptr || key == nullptr)
        return;
    const auto found = dictionary->index.find(key);
    if (found == dictionary->index.end()) {
        insertEntry(*dictionary, key, value);
        return;
    }
    // Retain first: the new value may be the old one, held only by this dictionary.
    PLDictionary::Entry& entry = *found->second;
    retainIf(dictionary->retainsValues, value);
    releaseIf(dictionary->retainsValues, entry.value);
    entry.value = value;
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef dictRef, const void* key) {
    PLDictionary* dictionary = as<PLDictionary>(dictRef);
    if (dictionary == nullptr)
        return;
    const auto found = dictionary->index.find(key);
    if (found == dictionary->index.end())
        return;
    const PLDictionary::Entry removed = *found->second;
    dictionary->entries.erase(found->second);
    dictionary->index.erase(found);
    releaseIf(dictionary->retainsKeys, removed.key);
    releaseIf(dictionary->retainsValues, removed.value);
}

const void* CFDictionaryGetValue(CFDictionaryRef dictRef, const void* key) {
    const void* value = nullptr;
    CFDictionaryGetValueIfPresent(dictRef, key, &value);
    return value;
}

CFBoolean_t CFDictionaryGetValueIfPresent(CFDictionaryRef dictRef, const void* key,
                                          const void** value) {
    const PLDictionary* dictionary = as<PLDictionary>(dictRef);
    const PLDictionary::Entry* entry =
        dictionary != nullptr ? findEntry(*dictionary, key) : nullptr;
    if (entry == nullptr)
        return false;
    if (value != nullptr)
        *value = entry->value;
    return true;
}

CFBoolean_t CFDictionaryContainsKey(CFDictionaryRef dictRef, const void* key) {
    return CFDictionaryGetValueIfPresent(dictRef, key, nullptr);
}

CFIndex CFDictionaryGetCount(CFDictionaryRef dictRef) {
    const PLDictionary* dictionary = as<PLDictionary>(dictRef);
    return dictionary != nullptr ? static_cast<CFIndex>(dictionary->entries.size()) : 0;
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef dictRef, const void** keys, const void** values) {
    const PLDictionary* dictionary = as<PLDictionary>(dictRef);
    if (dictionary == nullptr)
        return;
    size_t at = 0;
    for (const PLDictionary::Entry& entry : dictionary->entries) {
        if (keys != nullptr)
            keys[at] = entry.key;
        if (values != nullptr)
            values[at] = entry.value;
        ++at;
    }
}

} // extern "C"
