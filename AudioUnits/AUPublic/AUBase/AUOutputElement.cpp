#include "AUOutputElement.h"

AUOutputElement::AUOutputElement(AUBase* audioUnit) : AUIOElement(audioUnit) {
    // Only now is NeedsBufferSpace this class's; before initializing this allocates nothing.
    AllocateBuffer();
}

OSStatus AUOutputElement::SetStreamFormat(const CAStreamBasicDescription& format) {
    const OSStatus result = AUIOElement::SetStreamFormat(format);
    if (result == noErr) {
        AllocateBuffer();
    }
    return result;
}
