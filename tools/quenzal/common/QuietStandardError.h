// Units write a diagnostic line for every request they refuse. Where quenzal refuses on purpose
// (probing which formats a unit takes), those lines say nothing new, so they are held back.
#pragma once

namespace quenzal {

class QuietStandardError {
public:
    QuietStandardError();
    ~QuietStandardError();
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

private:
    int mSaved = -1;
};

} // namespace quenzal
