// The demo's built-in clips, synthesised so that the demo needs no input: a plucked-string riff
// in the guitar range and a bass line, mono, peaking at -6 dBFS.
#pragma once

#include <vector>

namespace quenzal {

std::vector<float> GuitarRiff(double rate);
std::vector<float> BassLine(double rate);

} // namespace quenzal
