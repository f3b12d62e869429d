#include "VoicingSettings.h"

#include "ParameterSettings.h"

#include <charconv>
#include <cmath>
#include <sstream>

namespace quenzal {
namespace {

AudioUnitParameterID ShorthandParameter(std::optional<AudioUnitParameterID> id, const char* option,
                                        const char* what) {
    if (!id) {
        throw HostError(std::string(option) + ": this component has no " + what +
                        " parameter; set its parameters with --set NAME=VALUE (quenzal info "
                        "lists them)");
    }
    return *id;
}

} // namespace

std::optional<AudioUnitParameterID> SpeakerParameter(const Unit& unit) {
    const std::optional<AudioUnitParameterID> id = FindParameter(unit, "Loudspeaker");
    return id && !unit.ValueStrings(*id).empty() ? id : std::nullopt;
}

Float32 ParseSpeaker(const Unit& unit, AudioUnitParameterID speaker, const std::string& text) {
    const std::vector<std::string> names = unit.ValueStrings(speaker);
    const AudioUnitParameterInfo info = unit.ParameterInfo(speaker);
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error == std::errc() && end == text.data() + text.size() && number >= info.minValue &&
        number <= info.maxValue) {
        return static_cast<Float32>(number);
    }
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == text) {
            return info.minValue + static_cast<Float32>(i);
        }
    }
    std::ostringstream message;
    message << "--speaker: '" << text << "' is not a speaker model; choose " << info.minValue
            << " to " << info.maxValue;
    for (size_t i = 0; i < names.size(); ++i) {
        message << (i == 0 ? " or one of " : ", ") << '"' << names[i] << '"';
    }
    throw HostError(message.str());
}

Float32 CheckVolume(const Unit& unit, AudioUnitParameterID volume, double decibels) {
    const AudioUnitParameterInfo info = unit.ParameterInfo(volume);
    if (!std::isfinite(decibels) || decibels < info.minValue || decibels > info.maxValue) {
        std::ostringstream message;
        message << "--volume: " << decibels << " dB is outside the range " << info.minValue
                << " to " << info.maxValue << " dB";
        throw HostError(message.str());
    }
    return static_cast<Float32>(decibels);
}

void ApplyVoicing(Unit& unit, const std::string& speaker, std::optional<double> volume) {
    if (!speaker.empty()) {
        const AudioUnitParameterID id =
            ShorthandParameter(SpeakerParameter(unit), "--speaker", "speaker-model");
        unit.SetParameter(id, ParseSpeaker(unit, id, speaker));
    }
    if (volume) {
        const AudioUnitParameterID id =
            ShorthandParameter(FindParameter(unit, "Volume"), "--volume", "Volume");
        unit.SetParameter(id, CheckVolume(unit, id, *volume));
    }
}

} // namespace quenzal
