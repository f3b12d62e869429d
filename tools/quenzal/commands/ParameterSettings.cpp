#include "ParameterSettings.h"

#include "Text.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace quenzal {
namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// The whole text as a finite number, or nothing.
std::optional<double> NumberIn(const std::string& text) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string ParameterList(const Unit& unit) {
    std::string names;
    for (const AudioUnitParameterID id : unit.ParameterList()) {
        names +=
            (names.empty() ? "" : ", ") + unit.ParameterName(id) + " (" + std::to_string(id) + ")";
    }
    return names.empty() ? "no parameters" : "the parameters " + names;
}

std::string AllowedText(const AudioUnitParameterInfo& info,
                        const std::vector<std::string>& valueStrings) {
    std::string allowed = NumberText(info.minValue) + " to " + NumberText(info.maxValue);
    for (size_t i = 0; i < valueStrings.size(); ++i) {
        allowed += (i == 0 ? " or one of " : ", ") + ('"' + valueStrings[i] + '"');
    }
    return allowed;
}

Float32 ParseValue(const Unit& unit, AudioUnitParameterID id, const std::string& setting,
                   const std::string& text) {
    const AudioUnitParameterInfo info = unit.ParameterInfo(id);
    const std::vector<std::string> valueStrings = unit.ValueStrings(id);
    const auto named = std::find(valueStrings.begin(), valueStrings.end(), text);
    if (named != valueStrings.end()) {
        return info.minValue + static_cast<Float32>(named - valueStrings.begin());
    }
    const std::optional<double> number = NumberIn(text);
    if (number && *number >= info.minValue && *number <= info.maxValue) {
        return static_cast<Float32>(*number);
    }
    throw HostError("--set " + setting + ": " + unit.ParameterName(id) + " takes " +
                    AllowedText(info, valueStrings));
}

} // namespace

std::optional<AudioUnitParameterID> FindParameter(const Unit& unit, const std::string& nameOrID) {
    const std::vector<AudioUnitParameterID> ids = unit.ParameterList();
    for (const AudioUnitParameterID id : ids) {
        if (SameIgnoringCase(unit.ParameterName(id), nameOrID)) {
            return id;
        }
    }
    const std::optional<double> number = NumberIn(nameOrID);
    const auto id = std::find_if(ids.begin(), ids.end(), [&](AudioUnitParameterID candidate) {
        return number && *number == static_cast<double>(candidate);
    });
    return id == ids.end() ? std::nullopt : std::optional(*id);
}

void ApplyParameterSettings(Unit& unit, const std::vector<std::string>& settings) {
    for (const std::string& setting : settings) {
        const size_t equals = setting.find('=');
        if (equals == std::string::npos) {
            throw HostError("--set " + setting + ": write it as NAME=VALUE");
        }
        const std::string name = setting.substr(0, equals);
        const std::optional<AudioUnitParameterID> id = FindParameter(unit, name);
        if (!id) {
            throw HostError("--set " + setting + ": the component has no parameter '" + name +
                            "'; it has " + ParameterList(unit));
        }
        unit.SetParameter(*id, ParseValue(unit, *id, setting, setting.substr(equals + 1)));
    }
}

} // namespace quenzal
