// Numbers: 32- and 64-bit integers and single- and double-precision reals. Every conversion is
// defined for every stored value: out-of-range values saturate, NaN becomes integer 0, and
// fractions truncate toward zero; the result says whether the value survived exactly.
#include "PropertyListObjects.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

using namespace platform_plist;

namespace {

constexpr double kTwoTo63 = 9223372036854775808.0;

bool isIntegerType(CFNumberType type) {
    return type == kCFNumberSInt32Type || type == kCFNumberSInt64Type;
}

bool isSinglePrecision(CFNumberType type) {
    return type == kCFNumberFloat32Type || type == kCFNumberFloatType;
}

bool isDoublePrecision(CFNumberType type) {
    return type == kCFNumberFloat64Type || type == kCFNumberDoubleType;
}

bool isKnownType(CFNumberType type) {
    return isIntegerType(type) || isSinglePrecision(type) || isDoublePrecision(type);
}

template <class T> T load(const void* from) {
    T value;
    std::memcpy(&value, from, sizeof value);
    return value;
}

template <class T> void store(void* to, T value) {
    std::memcpy(to, &value, sizeof value);
}

// The real's value as a 64-bit integer when it is one exactly.
bool realIsInteger(double real, int64_t* integer) {
    if (!(real >= -kTwoTo63 && real < kTwoTo63))
        return false;
    *integer = static_cast<int64_t>(real);
    return static_cast<double>(*integer) == real;
}

template <class Int> bool realToInteger(double real, void* out) {
    constexpr double limit = -static_cast<double>(std::numeric_limits<Int>::min());
    if (std::isnan(real) || real >= limit || real < -limit) {
        const Int saturated = std::isnan(real) ? 0
                              : real > 0       ? std::numeric_limits<Int>::max()
                                               : std::numeric_limits<Int>::min();
        store(out, saturated);
        return false;
    }
    const Int truncated = static_cast<Int>(real);
    store(out, truncated);
    return static_cast<double>(truncated) == real;
}

bool integerToInt32(int64_t integer, void* out) {
    constexpr int64_t low = std::numeric_limits<int32_t>::min();
    constexpr int64_t high = std::numeric_limits<int32_t>::max();
    store(out, static_cast<int32_t>(integer < low ? low : integer > high ? high : integer));
    return integer >= low && integer <= high;
}

bool realToFloat(double real, void* out) {
    float result = 0.0f;
    if (std::isnan(real) || std::isinf(real))
        result = static_cast<float>(real);
    else if (real > FLT_MAX)
        result = FLT_MAX;
    else if (real < -FLT_MAX)
        result = -FLT_MAX;
    else
        result = static_cast<float>(real);
    store(out, result);
    return std::isnan(real) || static_cast<double>(result) == real;
}

bool integerToReal(int64_t integer, CFNumberType type, void* out) {
    double real = 0.0;
    if (isSinglePrecision(type)) {
        const float single = static_cast<float>(integer);
        store(out, single);
        real = single;
    } else {
        real = static_cast<double>(integer);
        store(out, real);
    }
    int64_t back = 0;
    return realIsInteger(real, &back) && back == integer;
}

bool convertInteger(int64_t integer, CFNumberType type, void* out) {
    if (type == kCFNumberSInt32Type)
        return integerToInt32(integer, out);
    if (type == kCFNumberSInt64Type) {
        store(out, integer);
        return true;
    }
    return integerToReal(integer, type, out);
}

bool convertReal(double real, CFNumberType type, void* out) {
    if (type == kCFNumberSInt32Type)
        return realToInteger<int32_t>(real, out);
    if (type == kCFNumberSInt64Type)
        return realToInteger<int64_t>(real, out);
    if (isSinglePrecision(type))
        return realToFloat(real, out);
    store(out, real);
    return true;
}

} // namespace

namespace platform_plist {

bool numbersEqual(const PLNumber& a, const PLNumber& b) {
    if (!a.isReal && !b.isReal)
        return a.integer == b.integer;
    if (a.isReal && b.isReal)
        return a.real == b.real;
    const PLNumber& real = a.isReal ? a : b;
    const PLNumber& integer = a.isReal ? b : a;
    int64_t value = 0;
    return realIsInteger(real.real, &value) && value == integer.integer;
}

// Equal numbers hash alike: integral reals hash as the integer they equal.
size_t numberHash(const PLNumber& number) {
    int64_t integer = number.integer;
    if (number.isReal && !realIsInteger(number.real, &integer))
        return std::hash<double>{}(number.real);
    return std::hash<int64_t>{}(integer);
}

} // namespace platform_plist

extern "C" {

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType type, const void* valuePtr) {
    if (valuePtr == nullptr || !isKnownType(type))
        return nullptr;
    auto* number = new PLNumber(type);
    number->isReal = !isIntegerType(type);
    if (type == kCFNumberSInt32Type)
        number->integer = load<int32_t>(valuePtr);
    else if (type == kCFNumberSInt64Type)
        number->integer = load<int64_t>(valuePtr);
    else if (isSinglePrecision(type))
        number->real = load<float>(valuePtr);
    else
        number->real = load<double>(valuePtr);
    return number;
}

CFNumberType CFNumberGetType(CFNumberRef numberRef) {
    const PLNumber* number = as<PLNumber>(numberRef);
    return number != nullptr ? number->type : static_cast<CFNumberType>(0);
}

CFBoolean_t CFNumberGetValue(CFNumberRef numberRef, CFNumberType type, void* valuePtr) {
    const PLNumber* number = as<PLNumber>(numberRef);
    if (number == nullptr || valuePtr == nullptr || !isKnownType(type))
        return false;
    return number->isReal ? convertReal(number->real, type, valuePtr)
                          : convertInteger(number->integer, type, valuePtr);
}

CFBoolean_t CFNumberIsFloatType(CFNumberRef numberRef) {
    const PLNumber* number = as<PLNumber>(numberRef);
    return number != nullptr && number->isReal;
}

} // extern "C"
