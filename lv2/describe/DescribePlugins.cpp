// Writes the plug-ins' Turtle description: the template with its control ports filled in from the
// unit's own parameter info (property 4) and value strings (property 16). The build runs it on
// the component that goes into the bundle, so the description and the unit cannot disagree.
//
// Usage: describe-plugins LIBRARY REGISTRATION TEMPLATE OUTPUT
#include "PortLayout.h"

#include "Platform/Host.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace {

constexpr const char* kPlaceholder = "@CONTROL_PORTS@";

class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

void Check(OSStatus status, const std::string& what) {
    if (status != noErr) {
        throw Failure(what + " failed (status " + std::to_string(status) + ")");
    }
}

// One instance of the component, closed on every way out.
class OpenUnit {
public:
    explicit OpenUnit(AudioComponent component) {
        Check(AudioComponentInstanceNew(component, &mUnit), "opening the component");
    }
    ~OpenUnit() { AudioComponentInstanceDispose(mUnit); }
    OpenUnit(const OpenUnit&) = delete;
    OpenUnit& operator=(const OpenUnit&) = delete;

    // Reads into value, which must be exactly the property's size; false when the unit refuses.
    template <class T> bool Read(AudioUnitPropertyID id, AudioUnitElement element, T& value) const {
        UInt32 size = sizeof value;
        return AudioUnitGetProperty(mUnit, id, kAudioUnitScope_Global, element, &value, &size) ==
                   noErr &&
               size == sizeof value;
    }

    template <class T> T Require(AudioUnitPropertyID id, AudioUnitElement element) const {
        T value{};
        if (!Read(id, element, value)) {
            throw Failure("the unit does not answer property " + std::to_string(id) +
                          " for element " + std::to_string(element));
        }
        return value;
    }

    AudioUnit Get() const { return mUnit; }

private:
    AudioUnit mUnit = nullptr;
};

struct ReleaseObject {
    void operator()(CFTypeRef object) const { CFRelease(object); }
};
using OwnedArray = std::unique_ptr<std::remove_pointer_t<CFArrayRef>, ReleaseObject>;

struct Parameter {
    std::string name;
    AudioUnitParameterInfo info;
    OwnedArray valueStrings; // null when the parameter has none
};

std::string NameOf(AudioUnitParameterInfo& info) {
    const bool hasString = (info.flags & kAudioUnitParameterFlag_HasCFNameString) != 0;
    const char* text = hasString ? PlatformStringUTF8(info.cfNameString) : nullptr;
    std::string name = text != nullptr ? text : std::string(info.name, strnlen(info.name, 52));
    if ((info.flags & kAudioUnitParameterFlag_CFNameRelease) && info.cfNameString != nullptr) {
        CFRelease(info.cfNameString);
        info.cfNameString = nullptr;
    }
    return name;
}

Parameter ReadParameter(const OpenUnit& unit, AudioUnitParameterID id) {
    Parameter parameter;
    parameter.info = unit.Require<AudioUnitParameterInfo>(kAudioUnitProperty_ParameterInfo, id);
    parameter.name = NameOf(parameter.info);
    CFArrayRef strings = nullptr;
    if (unit.Read(kAudioUnitProperty_ParameterValueStrings, id, strings)) {
        parameter.valueStrings.reset(strings);
    }
    const AudioUnitParameterInfo& info = parameter.info;
    const auto values = CFIndex(info.maxValue - info.minValue + 1);
    if (info.unit == kAudioUnitParameterUnit_Indexed &&
        (!parameter.valueStrings || CFArrayGetCount(parameter.valueStrings.get()) != values)) {
        throw Failure("parameter " + std::to_string(id) + " (" + parameter.name +
                      ") does not name every one of its values");
    }
    return parameter;
}

std::vector<AudioUnitParameterID> ParameterList(const OpenUnit& unit) {
    UInt32 size = 0;
    Check(AudioUnitGetPropertyInfo(unit.Get(), kAudioUnitProperty_ParameterList,
                                   kAudioUnitScope_Global, 0, &size, nullptr),
          "asking for the parameter list");
    std::vector<AudioUnitParameterID> ids(size / sizeof(AudioUnitParameterID));
    if (!ids.empty()) {
        Check(AudioUnitGetProperty(unit.Get(), kAudioUnitProperty_ParameterList,
                                   kAudioUnitScope_Global, 0, ids.data(), &size),
              "reading the parameter list");
    }
    return ids;
}

// Every parameter of the unit needs a port, and no port may name a parameter the unit lacks.
void CheckParameterList(const OpenUnit& unit) {
    std::vector<AudioUnitParameterID> expected;
    for (const quenzal_lv2::ControlPort& port : quenzal_lv2::kControlPorts) {
        expected.push_back(port.parameter);
    }
    if (ParameterList(unit) != expected) {
        throw Failure("the unit's parameters are not the plug-ins' control ports");
    }
}

// The plug-ins have no latency port, which is only honest while the unit reports none.
void CheckLatency(const OpenUnit& unit) {
    if (unit.Require<Float64>(kAudioUnitProperty_Latency, 0) != 0) {
        throw Failure("the unit reports latency, which the plug-ins do not declare");
    }
}

// A Turtle number: an integer, or a decimal that always keeps its point.
std::string Number(Float32 value, bool integer) {
    if (integer) {
        return std::to_string(std::lround(value));
    }
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    std::string number(text, end);
    if (number.find_first_of(".e") == std::string::npos) {
        number += ".0";
    }
    return number;
}

std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "\"";
}

std::string ScalePoints(const Parameter& parameter) {
    const CFArrayRef strings = parameter.valueStrings.get();
    std::ostringstream turtle;
    turtle << "\t\tlv2:scalePoint ";
    for (CFIndex i = 0; i < CFArrayGetCount(strings); ++i) {
        const char* label =
            PlatformStringUTF8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(strings, i)));
        turtle << (i == 0 ? "[\n" : " , [\n") << "\t\t\trdfs:label "
               << Quoted(label != nullptr ? label : "") << " ;\n\t\t\trdf:value "
               << Number(parameter.info.minValue + Float32(i), true) << "\n\t\t]";
    }
    turtle << " ;\n";
    return turtle.str();
}

std::string UnitProperties(const Parameter& parameter) {
    switch (parameter.info.unit) {
    case kAudioUnitParameterUnit_Indexed:
        return "\t\tlv2:portProperty lv2:integer ,\n\t\t\tlv2:enumeration ;\n" +
               ScalePoints(parameter);
    case kAudioUnitParameterUnit_Decibels:
        return "\t\tunits:unit units:db ;\n";
    default:
        return "";
    }
}

std::string ControlPortTurtle(uint32_t index, const char* symbol, const Parameter& parameter) {
    const AudioUnitParameterInfo& info = parameter.info;
    const bool integer = info.unit == kAudioUnitParameterUnit_Indexed;
    std::ostringstream turtle;
    turtle << "[\n\t\ta lv2:InputPort ,\n\t\t\tlv2:ControlPort ;\n"
           << "\t\tlv2:index " << index << " ;\n"
           << "\t\tlv2:symbol " << Quoted(symbol) << " ;\n"
           << "\t\tlv2:name " << Quoted(parameter.name) << " ;\n"
           << "\t\tlv2:default " << Number(info.defaultValue, integer) << " ;\n"
           << "\t\tlv2:minimum " << Number(info.minValue, integer) << " ;\n"
           << "\t\tlv2:maximum " << Number(info.maxValue, integer) << " ;\n"
           << UnitProperties(parameter) << "\t]";
    return turtle.str();
}

std::string ControlPortsTurtle(const OpenUnit& unit) {
    std::string turtle;
    for (uint32_t index = 0; index < quenzal_lv2::kControlPortCount; ++index) {
        const quenzal_lv2::ControlPort& port = quenzal_lv2::kControlPorts[index];
        turtle += (index == 0 ? "" : " , ") +
                  ControlPortTurtle(index, port.symbol, ReadParameter(unit, port.parameter));
    }
    return turtle;
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    if (!(file && text << file.rdbuf())) {
        throw Failure(path + ": cannot read the template");
    }
    return text.str();
}

std::string FillIn(std::string text, const std::string& ports) {
    const size_t placeholderLength = std::char_traits<char>::length(kPlaceholder);
    for (size_t at = text.find(kPlaceholder); at != std::string::npos;
         at = text.find(kPlaceholder, at + ports.size())) {
        text.replace(at, placeholderLength, ports);
    }
    return text;
}

// Through a temporary file, so that a failed run never leaves half a description behind.
void WriteFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        if (!(file << text && file.flush())) {
            throw Failure(temporary + ": cannot write the description");
        }
    }
    std::filesystem::rename(temporary, path);
}

AudioComponent Register(const char* library, const char* registration) {
    char message[1024] = {};
    AudioComponent component = nullptr;
    if (PlatformRegisterComponentLibrary(library, registration, &component, message,
                                         sizeof message) != noErr) {
        throw Failure(message);
    }
    return component;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s LIBRARY REGISTRATION TEMPLATE OUTPUT\n", argv[0]);
        return 2;
    }
    try {
        const AudioComponent component = Register(argv[1], argv[2]);
        std::string ports;
        {
            const OpenUnit unit(component);
            CheckParameterList(unit);
            CheckLatency(unit);
            ports = ControlPortsTurtle(unit);
        }
        PlatformUnregisterComponent(component);
        WriteFile(argv[4], FillIn(ReadFile(argv[3]), ports));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.what());
        return 1;
    }
    return 0;
}
