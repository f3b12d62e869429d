// How quenzal writes numbers and codes for people.
#pragma once

#include "Platform/AudioTypes.h"

#include <string>

namespace quenzal {

// The shortest text that reads back as the same value: "2.5", "-6", "0.1" (not "0.100000").
std::string NumberText(float value);
std::string NumberText(double value);

// Four-character codes as their text ("efct"), or in hexadecimal when not printable.
std::string CodeText(OSType code);

} // namespace quenzal
