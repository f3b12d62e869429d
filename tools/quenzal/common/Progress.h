// A one-line progress bar on standard error, shown only on a terminal and for long work. Several
// threads may advance one bar: a batch shows a single line.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace quenzal {

class Progress {
public:
    Progress(std::string label, int64_t total, bool enabled);
    ~Progress();
    void Advance(int64_t amount);

private:
    void Draw();

    std::string mLabel;
    std::mutex mMutex;
    int64_t mTotal;
    int64_t mDone = 0;
    int mShownPercent = -1;
    bool mEnabled;
};

} // namespace quenzal
