#include "VoicingSettings.h"

#include <charconv>
#include <cmath>
#include <sstream>

namespace quenzal {

Float32 ParseSpeaker(const Unit& unit, const std::string& text) {
    const std::vector<std::string> names = unit.ValueStrings(kLoudspeakerParameter);
    const AudioUnitParameterInfo info = unit.ParameterInfo(kLoudspeakerParameter);
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

Float32 CheckVolume(const Unit& unit, double decibels) {
    const AudioUnitParameterInfo info = unit.ParameterInfo(kVolumeParameter);
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
        unit.SetParameter(kLoudspeakerParameter, ParseSpeaker(unit, speaker));
    }
    if (volume) {
        unit.SetParameter(kVolumeParameter, CheckVolume(unit, *volume));
    }
}

} // namespace quenzal
