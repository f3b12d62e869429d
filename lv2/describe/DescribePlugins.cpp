// Writes the plug-ins' Turtle description: the template with its control ports filled in from the
// unit's own parameter info (property 4) and value strings (property 16). The build runs it on
// the component that goes into the bundle, so the description and the unit cannot disagree.
//
// Usage: describe-plugins LIBRARY REGISTRATION TEMPLATE OUTPUT
#include "PortLayout.h"

#include "Hosting/Component.h"
#include "Hosting/Unit.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr const char* kPlaceholder = "@CONTROL_PORTS@";

using hosting::Unit;

class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Parameter {
    std::string name;
    AudioUnitParameterInfo info;
    std::vector<std::string> valueStrings; // empty when the parameter has none
};

Parameter ReadParameter(const Unit& unit, AudioUnitParameterID id) {
    Parameter parameter{unit.ParameterName(id), unit.ParameterInfo(id), unit.ValueStrings(id)};
    const AudioUnitParameterInfo& info = parameter.info;
    const auto values = size_t(info.maxValue - info.minValue + 1);
    if (info.unit == kAudioUnitParameterUnit_Indexed && parameter.valueStrings.size() != values) {
        throw Failure("parameter " + std::to_string(id) + " (" + parameter.name +
                      ") does not name every one of its values");
    }
    return parameter;
}

// Every parameter of the unit needs a port, and no port may name a parameter the unit lacks.
void CheckParameterList(const Unit& unit) {
    std::vector<AudioUnitParameterID> expected;
    for (const quenzal_lv2::ControlPort& port : quenzal_lv2::kControlPorts) {
        expected.push_back(port.parameter);
    }
    if (unit.ParameterList() != expected) {
        throw Failure("the unit's parameters are not the plug-ins' control ports");
    }
}

// The plug-ins have no latency port, which is only honest while the unit reports none.
void CheckLatency(const Unit& unit) {
    if (unit.Latency() != 0) {
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
    std::ostringstream turtle;
    turtle << "\t\tlv2:scalePoint ";
    for (size_t i = 0; i < parameter.valueStrings.size(); ++i) {
        turtle << (i == 0 ? "[\n" : " , [\n") << "\t\t\trdfs:label "
               << Quoted(parameter.valueStrings[i]) << " ;\n\t\t\trdf:value "
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

std::string ControlPortsTurtle(const Unit& unit) {
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

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s LIBRARY REGISTRATION TEMPLATE OUTPUT\n", argv[0]);
        return 2;
    }
    try {
        std::string ports;
        {
            const hosting::Registration component =
                hosting::RegisterComponentLibrary({argv[1], argv[2]});
            const Unit unit(component.Get());
            CheckParameterList(unit);
            CheckLatency(unit);
            ports = ControlPortsTurtle(unit);
        }
        WriteFile(argv[4], FillIn(ReadFile(argv[3]), ports));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.what());
        return 1;
    }
    return 0;
}
