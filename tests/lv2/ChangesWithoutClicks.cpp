// A host of our own, through lilv as real hosts load the bundle: a model switch, a volume move
// and a bypass toggle mid-stream, on a sine and on noise. No step inside a change may be larger
// than the steady signal's steps around it, and nothing before the change may differ.
#include <lilv/lilv.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr double kRate = 48000;
constexpr size_t kBlock = 64;
constexpr size_t kChangeAt = 4800;
constexpr size_t kFadeEnd = kChangeAt + 960 + kBlock;
constexpr size_t kFrames = kFadeEnd + 4800;

struct Change {
    const char* name;
    uint32_t port;
    float before;
    float after;
};

// The mono plug-in, run over input in blocks; the named port moves to after at kChangeAt.
std::vector<float> Voice(const LilvPlugin* plugin, const std::vector<float>& input,
                         const Change& change, bool changes) {
    LilvInstance* instance = lilv_plugin_instantiate(plugin, kRate, nullptr);
    std::vector<float> output(input.size());
    // The mono plug-in's ports: loudspeaker, volume, in, out, enabled.
    float controls[5] = {1, 0, 0, 0, 1};
    for (uint32_t port : {0u, 1u, 4u}) {
        lilv_instance_connect_port(instance, port, &controls[port]);
    }
    controls[change.port] = change.before;
    lilv_instance_activate(instance);
    for (size_t at = 0; at < input.size(); at += kBlock) {
        if (changes && at == kChangeAt) {
            controls[change.port] = change.after;
        }
        lilv_instance_connect_port(instance, 2, const_cast<float*>(&input[at]));
        lilv_instance_connect_port(instance, 3, &output[at]);
        lilv_instance_run(instance, kBlock);
    }
    lilv_instance_deactivate(instance);
    lilv_instance_free(instance);
    return output;
}

float LargestStep(const std::vector<float>& signal, size_t from, size_t to) {
    float largest = 0;
    for (size_t i = from + 1; i < to; ++i) {
        largest = std::max(largest, std::abs(signal[i] - signal[i - 1]));
    }
    return largest;
}

} // namespace

int main() {
    LilvWorld* world = lilv_world_new();
    lilv_world_load_all(world);
    LilvNode* uri = lilv_new_uri(world, "urn:harwendel:quenzal:mono");
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
    if (plugin == nullptr) {
        std::fprintf(stderr, "FAIL: the mono plug-in is not found\n");
        return 1;
    }
    std::vector<float> sine(kFrames), noise(kFrames);
    std::minstd_rand random(17);
    std::uniform_real_distribution<float> uniform(-0.25f, 0.25f);
    for (size_t i = 0; i < kFrames; ++i) {
        sine[i] = 0.25f * float(std::sin(2 * M_PI * 220 * double(i) / kRate));
        noise[i] = uniform(random);
    }
    const Change changes[] = {
        {"model 1 to 4", 0, 1, 4},       {"model 2 to 5", 0, 2, 5}, {"volume -6 to 6 dB", 1, -6, 6},
        {"volume 6 to -6 dB", 1, 6, -6}, {"bypass", 4, 1, 0},       {"resume", 4, 0, 1}};
    int failures = 0;
    for (const auto& [signalName, input] : {std::pair{"sine", &sine}, std::pair{"noise", &noise}}) {
        for (const Change& change : changes) {
            const std::vector<float> steady = Voice(plugin, *input, change, false);
            const std::vector<float> changed = Voice(plugin, *input, change, true);
            const bool same =
                std::memcmp(steady.data(), changed.data(), kChangeAt * sizeof(float)) == 0;
            const float around = std::max(LargestStep(changed, kChangeAt - 2400, kChangeAt),
                                          LargestStep(changed, kFadeEnd, kFrames));
            const float inside = LargestStep(changed, kChangeAt - 1, kFadeEnd);
            if (!same || inside > 1.05f * around) {
                std::fprintf(stderr, "FAIL: %s, %s: %s, step %g inside the change, %g around it\n",
                             signalName, change.name, same ? "" : "the output before differs",
                             double(inside), double(around));
                ++failures;
            }
        }
    }
    lilv_node_free(uri);
    lilv_world_free(world);
    return failures == 0 ? 0 : 1;
}
