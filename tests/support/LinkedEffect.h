// The effect linked into the test program, opened the way any host opens it.
#pragma once

#include "Harwendel_Quenzal.h"
#include "Harwendel_QuenzalComponent.h"
#include "Hosting/Component.h"
#include "Hosting/Unit.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace testhost {

// One vector of samples per channel.
using Signal = std::vector<std::vector<Float32>>;

// The codes and version of the registration file.
constexpr AudioComponentDescription kQuenzalDescription{
    hosting::FourCharCode(Harwendel_QuenzalComponent::kType),
    hosting::FourCharCode(Harwendel_QuenzalComponent::kSubtype),
    hosting::FourCharCode(Harwendel_QuenzalComponent::kManufacturer), 0, 0};

inline OSStatus QuenzalEntry(ComponentParameters* params, void* storage) {
    return Harwendel_QuenzalEntry(params, static_cast<Harwendel_Quenzal*>(storage));
}

// [control thread] Registered once per test process and kept for it.
inline AudioComponent QuenzalComponent() {
    static const AudioComponent component =
        hosting::RegisterEntry(kQuenzalDescription, QuenzalEntry,
                               Harwendel_QuenzalComponent::kVersion)
            .Release();
    return component;
}

// An open instance of the linked effect.
struct QuenzalUnit : hosting::Unit {
    QuenzalUnit() : hosting::Unit(QuenzalComponent()) {}
};

// Serves a signal from its first frame on each pull in turn, then silence.
struct SignalFeed {
    Signal signal;
    size_t position = 0;

    // [control thread, bus formats set] The feed must outlive the unit's renders.
    void Attach(hosting::Unit& unit) { unit.SetInput(&Fill, this); }

    static void Fill(void* context, UInt32 frames, float* const* channels) {
        auto& feed = *static_cast<SignalFeed*>(context);
        for (size_t c = 0; c < feed.signal.size(); ++c) {
            const std::vector<Float32>& source = feed.signal[c];
            const size_t start = std::min(feed.position, source.size());
            const size_t count = std::min<size_t>(frames, source.size() - start);
            std::fill(std::copy_n(source.begin() + std::ptrdiff_t(start), count, channels[c]),
                      channels[c] + frames, 0.0f);
        }
        feed.position += frames;
    }
};

// [render thread, initialized] The next frames into output, one vector per channel the unit
// was given; the unit's status.
inline OSStatus RenderSignal(hosting::Unit& unit, UInt32 frames, Signal& output,
                             AudioUnitRenderActionFlags* flags = nullptr) {
    output.assign(unit.Channels(), std::vector<Float32>(frames));
    std::vector<std::byte> memory(AudioBufferListByteSize(unit.Channels()));
    auto& list = *reinterpret_cast<AudioBufferList*>(memory.data());
    list.mNumberBuffers = unit.Channels();
    for (UInt32 c = 0; c < unit.Channels(); ++c) {
        list.mBuffers[c] = {1, UInt32(frames * sizeof(Float32)), output[c].data()};
    }
    return unit.RenderList(frames, list, flags);
}

} // namespace testhost
