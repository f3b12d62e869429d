// An output bus: always keeps sample memory of its own.
#pragma once

#include "AUScopeElement.h"

class AUOutputElement : public AUIOElement {
public:
    explicit AUOutputElement(AUBase* audioUnit);

    // [control thread] Adopts the format and reallocates at once once initializing has begun.
    OSStatus SetStreamFormat(const CAStreamBasicDescription& format) override;
    bool NeedsBufferSpace() const override { return true; }
};
