// PLACEHOLDER: replaced by the effect and its kernel.
#include "Harwendel_Quenzal.h"

extern "C" OSStatus Harwendel_QuenzalEntry(ComponentParameters* params, Harwendel_Quenzal* obj) {
    return ComponentEntryPoint<Harwendel_Quenzal>::Dispatch(params, obj);
}
