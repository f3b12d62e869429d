// Writes an LV2 bundle's manifest and description for a component: a mono and a stereo plug-in
// whose ports come from the unit's own parameter info (property 4), value strings (property 16),
// bypass and latency, and whose presets are the unit's factory presets (property 24) as the unit
// itself sets them, so the description and the unit cannot disagree. A unit whose parameter
// info a host could not trust fails the build here, before any file of the bundle changes.
//
// Usage: aupublic-describe-lv2 TARGET LIBRARY REGISTRATION URI_PREFIX BINARY NAME VERSION CLASS
//            LICENSE BUNDLE_DIR
#include "Lv2PortLayout.h"

#include "Hosting/Component.h"
#include "Hosting/Unit.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using hosting::Unit;

class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Arguments {
    std::string target, library, registration, uriPrefix, binary, name;
    uint32_t version = 0;
    std::string pluginClass, license, bundle;
};

struct Parameter {
    AudioUnitParameterID id = 0;
    std::string name;
    std::string symbol;
    AudioUnitParameterInfo info{};
    std::vector<std::string> valueStrings; // empty when the parameter has none
};

std::string Described(const Parameter& parameter) {
    return "parameter " + std::to_string(parameter.id) + " (" + parameter.name + ")";
}

// What a host relies on: a finite range that is not upside down, a default inside it, and a name
// for every value of an indexed parameter.
void CheckParameter(const Parameter& parameter) {
    const AudioUnitParameterInfo& info = parameter.info;
    if (!std::isfinite(info.minValue) || !std::isfinite(info.maxValue) ||
        !std::isfinite(info.defaultValue)) {
        throw Failure(Described(parameter) + " has a range or default that is not a number");
    }
    if (info.minValue > info.maxValue) {
        throw Failure(Described(parameter) + " has a minimum above its maximum");
    }
    if (info.defaultValue < info.minValue || info.defaultValue > info.maxValue) {
        throw Failure(Described(parameter) + " has a default outside its range");
    }
    const auto values = size_t(info.maxValue - info.minValue + 1);
    if (info.unit == kAudioUnitParameterUnit_Indexed && parameter.valueStrings.size() != values) {
        throw Failure(Described(parameter) + " does not name every one of its values");
    }
}

// A port symbol from the parameter's name: lower-case letters, digits and underscores, not
// starting with a digit. Saved sessions refer to ports by symbol, so it follows the name alone
// unless two would clash.
std::string SymbolFor(const std::string& name, AudioUnitParameterID id,
                      std::set<std::string>& taken) {
    std::string symbol;
    for (const unsigned char c : name) {
        if (std::isalnum(c) != 0 && c < 0x80) {
            symbol += char(std::tolower(c));
        } else if (!symbol.empty() && symbol.back() != '_') {
            symbol += '_';
        }
    }
    while (!symbol.empty() && symbol.back() == '_') {
        symbol.pop_back();
    }
    if (symbol.empty() || std::isdigit(static_cast<unsigned char>(symbol[0])) != 0) {
        symbol.insert(0, 1, 'p');
    }
    if (!taken.insert(symbol).second) {
        symbol += '_';
        symbol += std::to_string(id);
        taken.insert(symbol);
    }
    return symbol;
}

// The audio ports' and the designated ports' symbols, which no parameter may take.
std::set<std::string> ReservedSymbols() {
    return {"in", "out", "in_left", "in_right", "out_left", "out_right", "enabled", "latency"};
}

std::vector<Parameter> ReadParameters(const Unit& unit, const aupublic_lv2::PortLayout& layout) {
    std::set<std::string> taken = ReservedSymbols();
    std::vector<Parameter> parameters;
    for (const AudioUnitParameterID id : layout.parameters) {
        Parameter parameter{id, unit.ParameterName(id), "", unit.ParameterInfo(id),
                            unit.ValueStrings(id)};
        parameter.symbol = SymbolFor(parameter.name, id, taken);
        CheckParameter(parameter);
        parameters.push_back(std::move(parameter));
    }
    return parameters;
}

struct Preset {
    SInt32 number = 0;
    std::string name;
    std::vector<Float32> values; // one per parameter, in port order
};

// [control thread] Each factory preset made current in turn, and the parameters read back: what a
// host loading the preset into the unit would get.
std::vector<Preset> ReadPresets(Unit& unit, const std::vector<Parameter>& parameters) {
    CFArrayRef records = nullptr;
    if (unit.GetProperty(kAudioUnitProperty_FactoryPresets, kAudioUnitScope_Global, 0, records) !=
            noErr ||
        records == nullptr) {
        return {};
    }
    const hosting::Owned<CFArrayRef> owned(records);
    std::vector<Preset> presets;
    std::set<SInt32> numbers;
    for (CFIndex i = 0; i < CFArrayGetCount(records); ++i) {
        const auto* record = static_cast<const AUPreset*>(CFArrayGetValueAtIndex(records, i));
        const char* name = record != nullptr && record->presetName != nullptr
                               ? PlatformStringUTF8(record->presetName)
                               : nullptr;
        if (name == nullptr || record->presetNumber < 0) {
            throw Failure("factory preset " + std::to_string(i) + " has no name or number");
        }
        Preset preset{record->presetNumber, name, {}};
        if (unit.SetProperty(kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0,
                             *record) != noErr) {
            throw Failure("factory preset " + preset.name + " cannot be made current");
        }
        for (const Parameter& parameter : parameters) {
            const Float32 value = unit.GetParameter(parameter.id);
            // A value a port could not take would make the description unreadable or lie.
            if (!(value >= parameter.info.minValue && value <= parameter.info.maxValue)) {
                throw Failure("factory preset " + preset.name + " sets " + Described(parameter) +
                              " outside its range");
            }
            preset.values.push_back(value);
        }
        // Presets are known by their number; two with one number would merge into one.
        if (!numbers.insert(preset.number).second) {
            throw Failure("two factory presets have the number " + std::to_string(preset.number));
        }
        presets.push_back(std::move(preset));
    }
    return presets;
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

// The units vocabulary's name for a parameter unit, or null when it has none.
const char* UnitsTerm(UInt32 unit) {
    switch (unit) {
    case kAudioUnitParameterUnit_Decibels:
        return "units:db";
    case kAudioUnitParameterUnit_Hertz:
        return "units:hz";
    case kAudioUnitParameterUnit_Percent:
        return "units:pc";
    case kAudioUnitParameterUnit_Seconds:
        return "units:s";
    case kAudioUnitParameterUnit_Milliseconds:
        return "units:ms";
    default:
        return nullptr;
    }
}

std::string UnitProperties(const Parameter& parameter) {
    const AudioUnitParameterInfo& info = parameter.info;
    if (info.unit == kAudioUnitParameterUnit_Indexed) {
        return "\t\tlv2:portProperty lv2:integer ,\n\t\t\tlv2:enumeration ;\n" +
               ScalePoints(parameter);
    }
    std::string turtle;
    if (const char* term = UnitsTerm(info.unit)) {
        turtle += std::string("\t\tunits:unit ") + term + " ;\n";
    }
    if ((info.flags & kAudioUnitParameterFlag_DisplayLogarithmic) != 0) {
        turtle += "\t\tlv2:portProperty pprop:logarithmic ;\n";
    }
    return turtle;
}

std::string ControlPortTurtle(uint32_t index, const Parameter& parameter) {
    const AudioUnitParameterInfo& info = parameter.info;
    const bool integer = info.unit == kAudioUnitParameterUnit_Indexed;
    std::ostringstream turtle;
    turtle << "[\n\t\ta lv2:InputPort ,\n\t\t\tlv2:ControlPort ;\n"
           << "\t\tlv2:index " << index << " ;\n"
           << "\t\tlv2:symbol " << Quoted(parameter.symbol) << " ;\n"
           << "\t\tlv2:name " << Quoted(parameter.name) << " ;\n"
           << "\t\tlv2:default " << Number(info.defaultValue, integer) << " ;\n"
           << "\t\tlv2:minimum " << Number(info.minValue, integer) << " ;\n"
           << "\t\tlv2:maximum " << Number(info.maxValue, integer) << " ;\n"
           << UnitProperties(parameter) << "\t]";
    return turtle.str();
}

std::string AudioPortTurtle(uint32_t index, bool input, const std::string& symbol,
                            const std::string& name) {
    std::ostringstream turtle;
    turtle << "[\n\t\ta lv2:AudioPort ,\n\t\t\tlv2:" << (input ? "InputPort" : "OutputPort")
           << " ;\n\t\tlv2:index " << index << " ;\n\t\tlv2:symbol " << Quoted(symbol)
           << " ;\n\t\tlv2:name " << Quoted(name) << "\n\t]";
    return turtle.str();
}

std::string EnabledPortTurtle(uint32_t index) {
    return "[\n\t\ta lv2:InputPort ,\n\t\t\tlv2:ControlPort ;\n\t\tlv2:index " +
           std::to_string(index) +
           " ;\n\t\tlv2:symbol \"enabled\" ;\n\t\tlv2:name \"Enabled\" ;\n"
           "\t\tlv2:designation lv2:enabled ;\n\t\tlv2:portProperty lv2:toggled ;\n"
           "\t\tlv2:default 1 ;\n\t\tlv2:minimum 0 ;\n\t\tlv2:maximum 1\n\t]";
}

std::string LatencyPortTurtle(uint32_t index) {
    return "[\n\t\ta lv2:OutputPort ,\n\t\t\tlv2:ControlPort ;\n\t\tlv2:index " +
           std::to_string(index) +
           " ;\n\t\tlv2:symbol \"latency\" ;\n\t\tlv2:name \"Latency\" ;\n"
           "\t\tlv2:designation lv2:latency ;\n\t\tlv2:portProperty lv2:reportsLatency ,\n"
           "\t\t\tlv2:integer ;\n\t\tunits:unit units:frame\n\t]";
}

std::string PortsTurtle(const aupublic_lv2::PortLayout& layout,
                        const std::vector<Parameter>& parameters) {
    static const char* const kSides[2][2] = {{"", ""}, {"_left", "_right"}};
    static const char* const kSideNames[2][2] = {{"", ""}, {" left", " right"}};
    const int stereo = layout.channels == 2 ? 1 : 0;
    std::vector<std::string> ports;
    for (uint32_t i = 0; i < parameters.size(); ++i) {
        ports.push_back(ControlPortTurtle(i, parameters[i]));
    }
    for (const bool input : {true, false}) {
        for (uint32_t c = 0; c < layout.channels; ++c) {
            ports.push_back(
                AudioPortTurtle(input ? layout.Input(c) : layout.Output(c), input,
                                std::string(input ? "in" : "out") + kSides[stereo][c],
                                std::string(input ? "In" : "Out") + kSideNames[stereo][c]));
        }
    }
    if (layout.bypass) {
        ports.push_back(EnabledPortTurtle(layout.Enabled()));
    }
    if (layout.latency) {
        ports.push_back(LatencyPortTurtle(layout.Latency()));
    }
    std::string turtle;
    for (size_t i = 0; i < ports.size(); ++i) {
        turtle += (i == 0 ? "" : " , ") + ports[i];
    }
    return turtle;
}

std::string PluginTurtle(const Arguments& arguments, const std::string& uri,
                         const char* channelsName, const std::string& ports) {
    std::ostringstream turtle;
    turtle << "<" << uri << ">\n\ta lv2:Plugin";
    if (!arguments.pluginClass.empty()) {
        turtle << " ,\n\t\t" << arguments.pluginClass;
    }
    turtle << " ;\n\tdoap:name " << Quoted(arguments.name + " (" + channelsName + ")") << " ;\n"
           << "\tdoap:license <" << arguments.license << "> ;\n"
           << "\tlv2:minorVersion " << ((arguments.version >> 8) & 0xFF) << " ;\n"
           << "\tlv2:microVersion " << (arguments.version & 0xFF) << " ;\n"
           << "\tlv2:optionalFeature lv2:hardRTCapable ,\n\t\topts:options ,\n\t\turid:map ;\n"
           << "\tlv2:port " << ports << " .\n";
    return turtle.str();
}

std::string PresetUri(const std::string& plugin, const Preset& preset) {
    return plugin + ":preset:" + std::to_string(preset.number);
}

std::string PresetManifestTurtle(const std::string& plugin, const Preset& preset,
                                 const std::string& descriptionFile) {
    return "\n<" + PresetUri(plugin, preset) + ">\n\ta pset:Preset ;\n\tlv2:appliesTo <" + plugin +
           "> ;\n\trdfs:seeAlso <" + descriptionFile + "> .\n";
}

std::string PresetTurtle(const std::string& plugin, const Preset& preset,
                         const std::vector<Parameter>& parameters) {
    std::ostringstream turtle;
    turtle << "\n<" << PresetUri(plugin, preset) << ">\n\ta pset:Preset ;\n\tlv2:appliesTo <"
           << plugin << "> ;\n\trdfs:label " << Quoted(preset.name) << " ;\n\tlv2:port ";
    for (size_t i = 0; i < parameters.size(); ++i) {
        const bool integer = parameters[i].info.unit == kAudioUnitParameterUnit_Indexed;
        turtle << (i == 0 ? "[\n" : " , [\n") << "\t\tlv2:symbol " << Quoted(parameters[i].symbol)
               << " ;\n\t\tpset:value " << Number(preset.values[i], integer) << "\n\t]";
    }
    turtle << " .\n";
    return turtle.str();
}

constexpr const char* kPrefixes = "@prefix doap:  <http://usefulinc.com/ns/doap#> .\n"
                                  "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
                                  "@prefix opts:  <http://lv2plug.in/ns/ext/options#> .\n"
                                  "@prefix pprop: <http://lv2plug.in/ns/ext/port-props#> .\n"
                                  "@prefix rdf:   <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
                                  "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
                                  "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
                                  "@prefix urid:  <http://lv2plug.in/ns/ext/urid#> .\n";

// Named after the binary, as the bundle's folder is.
std::string DescriptionFile(const Arguments& arguments) {
    return std::filesystem::path(arguments.binary).stem().string() + ".ttl";
}

struct Bundle {
    std::string manifest;
    std::string description;
};

// Only a bundle with presets declares their vocabulary, so that the files of a unit without any
// stay as they were.
constexpr const char* kPresetPrefix = "@prefix pset:  <http://lv2plug.in/ns/ext/presets#> .\n";

Bundle Describe(const Arguments& arguments, Unit& unit) {
    const std::string descriptionFile = DescriptionFile(arguments);
    Bundle bundle{std::string(kPrefixes),
                  "# Generated from the unit's parameter info.\n" + std::string(kPrefixes)};
    std::string presetManifest, presetDescription;
    for (const uint32_t channels : {1u, 2u}) {
        const aupublic_lv2::PortLayout layout = aupublic_lv2::ReadPortLayout(unit, channels);
        const std::string uri = arguments.uriPrefix + (channels == 1 ? ":mono" : ":stereo");
        std::ostringstream manifest;
        manifest << "\n<" << uri << ">\n\ta lv2:Plugin ;\n\tlv2:binary <" << arguments.binary
                 << "> ;\n\trdfs:seeAlso <" << descriptionFile << "> .\n";
        bundle.manifest += manifest.str();
        const std::vector<Parameter> parameters = ReadParameters(unit, layout);
        bundle.description += '\n';
        bundle.description += PluginTurtle(arguments, uri, channels == 1 ? "mono" : "stereo",
                                           PortsTurtle(layout, parameters));
        for (const Preset& preset : ReadPresets(unit, parameters)) {
            presetManifest += PresetManifestTurtle(uri, preset, descriptionFile);
            presetDescription += PresetTurtle(uri, preset, parameters);
        }
    }
    if (!presetManifest.empty()) {
        bundle.manifest = kPresetPrefix + bundle.manifest + presetManifest;
        bundle.description += presetDescription;
        bundle.description.insert(bundle.description.find('\n') + 1, kPresetPrefix);
    }
    return bundle;
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!(file << text && file.flush())) {
        throw Failure(path + ": cannot write");
    }
}

// Both files through temporaries, renamed only once both are written, so that a failed run never
// leaves half a bundle description behind.
void WriteBundle(const Arguments& arguments, const Bundle& bundle) {
    const std::filesystem::path folder(arguments.bundle);
    std::filesystem::create_directories(folder);
    const std::pair<std::filesystem::path, const std::string*> files[] = {
        {folder / DescriptionFile(arguments), &bundle.description},
        {folder / "manifest.ttl", &bundle.manifest}};
    for (const auto& [path, text] : files) {
        WriteFile(path.string() + ".tmp", *text);
    }
    for (const auto& [path, text] : files) {
        std::filesystem::rename(path.string() + ".tmp", path);
    }
}

uint32_t ParseVersion(const std::string& text) {
    uint32_t version = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), version);
    if (error != std::errc() || end != text.data() + text.size()) {
        throw Failure("version '" + text + "' is not a number");
    }
    return version;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 11) {
        std::fprintf(stderr,
                     "usage: %s TARGET LIBRARY REGISTRATION URI_PREFIX BINARY NAME VERSION CLASS "
                     "LICENSE BUNDLE_DIR\n",
                     argv[0]);
        return 2;
    }
    const std::string target = argv[1];
    try {
        const Arguments arguments{
            argv[1], argv[2], argv[3], argv[4], argv[5], argv[6], ParseVersion(argv[7]),
            argv[8], argv[9], argv[10]};
        Bundle bundle;
        {
            const hosting::Registration component =
                hosting::RegisterComponentLibrary({arguments.library, arguments.registration});
            Unit unit(component.Get());
            bundle = Describe(arguments, unit);
        }
        WriteBundle(arguments, bundle);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: cannot describe the component %s for LV2: %s\n", argv[0],
                     target.c_str(), error.what());
        return 1;
    }
    return 0;
}
