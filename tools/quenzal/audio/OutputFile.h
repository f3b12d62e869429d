// Text outputs (plots, tables) written the way the audio writer writes: into a temporary file
// beside the target, renamed over it only once complete, so a failure never leaves half a file.
#pragma once

#include <string>

namespace quenzal {

// Throws a HostError naming path when the folder it would go into is missing, so that long work
// is refused before it starts rather than after.
void CheckOutputFolder(const std::string& path);

// Throws a HostError naming path when it cannot be written.
void WriteFileAtomically(const std::string& path, const std::string& contents);

} // namespace quenzal
