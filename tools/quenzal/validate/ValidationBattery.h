// The validator's battery: named checks, each run in a child process, so that a component that
// crashes, hangs or corrupts memory fails that one check and the rest still run.
#pragma once

#include "Platform/Host.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quenzal::validation {

// What a check saw when the component misbehaved; printed after the check's name.
class CheckFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

void Expect(bool condition, const std::string& whatWasSeen);
// Fails with "CALL returned S, expected E".
void ExpectStatus(OSStatus status, OSStatus expected, const std::string& call);

struct Check {
    std::string name;
    std::function<void(AudioComponent)> run;
};

class Battery {
public:
    explicit Battery(AudioComponent component) : mComponent(component) {}

    // Prints "PASS name" or "FAIL name: what it saw"; true when the check passed.
    bool Run(const Check& check);
    int Passed() const { return mPassed; }
    int Failed() const { return mFailed; }

private:
    AudioComponent mComponent;
    int mPassed = 0;
    int mFailed = 0;
};

} // namespace quenzal::validation
