// Two workloads timed against each other in one run: blocks of calls to each in turn, the order
// alternating, in thread CPU time, so that both see the same machine and time the scheduler gives
// to other processes counts for neither. Reported per sample (one channel's frame) and as the
// ratio of the subject to the reference.
#pragma once

#include "CAMath.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <string>

namespace pairedtiming {

inline double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

template <class Call> double SecondsOfBlock(Call& call, int calls) {
    const double start = ThreadSeconds();
    for (int i = 0; i < calls; ++i) {
        call();
        benchmark::ClobberMemory();
    }
    return ThreadSeconds() - start;
}

// Counters: <subject>_ns and <reference>_ns per sample, and ratio = subject / reference.
template <class Subject, class Reference>
void RunPaired(benchmark::State& state, const std::string& subjectName, Subject&& subject,
               const std::string& referenceName, Reference&& reference, double samplesPerCall,
               int callsPerBlock = 64) {
    double subjectSeconds = 0;
    double referenceSeconds = 0;
    bool subjectFirst = true;
    const CADenormalsOff flushed; // the mode of a render
    for (auto _ : state) {
        if (subjectFirst) {
            subjectSeconds += SecondsOfBlock(subject, callsPerBlock);
        }
        referenceSeconds += SecondsOfBlock(reference, callsPerBlock);
        if (!subjectFirst) {
            subjectSeconds += SecondsOfBlock(subject, callsPerBlock);
        }
        subjectFirst = !subjectFirst;
    }
    const double samples = double(state.iterations()) * callsPerBlock * samplesPerCall;
    state.counters[subjectName + "_ns"] = subjectSeconds * 1e9 / samples;
    state.counters[referenceName + "_ns"] = referenceSeconds * 1e9 / samples;
    state.counters["ratio"] = subjectSeconds / referenceSeconds;
}

} // namespace pairedtiming
