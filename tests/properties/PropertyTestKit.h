// What the property tests share: a listener that records announcements, diagnostics captured
// from standard error, raw property bytes, and owned property-list objects.
#pragma once

#include "LinkedEffect.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace propkit {

struct Announcement {
    AudioUnitPropertyID id;
    AudioUnitScope scope;
    AudioUnitElement element;
    bool operator==(const Announcement&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Announcement& a) {
    return out << "(" << a.id << ", " << a.scope << ", " << a.element << ")";
}

// Records every announcement of the IDs it listens to, in order.
class AnnouncementLog {
public:
    AnnouncementLog(AudioUnit unit, const std::vector<AudioUnitPropertyID>& ids) {
        for (const AudioUnitPropertyID id : ids) {
            AudioUnitAddPropertyListener(unit, id, &AnnouncementLog::Record, this);
        }
    }
    std::vector<Announcement> Take() { return std::exchange(mEvents, {}); }

private:
    static void Record(void* self, AudioUnit, AudioUnitPropertyID id, AudioUnitScope scope,
                       AudioUnitElement element) {
        static_cast<AnnouncementLog*>(self)->mEvents.push_back({id, scope, element});
    }
    std::vector<Announcement> mEvents;
};

// What fn wrote to standard error.
template <class Fn> std::string StderrOf(Fn&& fn) {
    testing::internal::CaptureStderr();
    fn();
    return testing::internal::GetCapturedStderr();
}

// The one diagnostic line a failed check writes; the line number is ours to choose.
inline bool IsRequireLine(const std::string& text, const std::string& condition,
                          const std::string& label) {
    const std::string prefix = "ca_require: " + condition + " " + label + " AUBase:";
    return text.starts_with(prefix) &&
           std::regex_match(text.substr(prefix.size()), std::regex("[0-9]+\n"));
}

// The first size bytes of value, zero-extended when size is larger.
template <class T> std::vector<Byte> BytesOf(const T& value, std::size_t size = sizeof(T)) {
    std::vector<Byte> bytes(size);
    std::memcpy(bytes.data(), &value, std::min(size, sizeof value));
    return bytes;
}

struct Releaser {
    void operator()(CFTypeRef object) const { CFRelease(object); }
};
using Owned = std::unique_ptr<const void, Releaser>;

inline Owned String(const char* text) {
    return Owned(CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingUTF8));
}
inline Owned Number(SInt32 value) {
    return Owned(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &value));
}
inline Owned Data(const std::vector<Byte>& bytes) {
    return Owned(CFDataCreate(kCFAllocatorDefault, bytes.data(), CFIndex(bytes.size())));
}
inline Owned Dictionary(std::initializer_list<std::pair<const char*, CFTypeRef>> entries = {}) {
    auto* dict = CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks,
                                           &kCFTypeDictionaryValueCallBacks);
    for (const auto& [key, value] : entries) {
        CFDictionarySetValue(dict, String(key).get(), value);
    }
    return Owned(dict);
}
inline CFMutableDictionaryRef Mutable(const Owned& dict) {
    return static_cast<CFMutableDictionaryRef>(const_cast<void*>(dict.get()));
}
inline std::string TextOf(CFTypeRef string) {
    const char* text = PlatformStringUTF8(static_cast<CFStringRef>(string));
    return text != nullptr ? text : "<not a string>";
}

} // namespace propkit
