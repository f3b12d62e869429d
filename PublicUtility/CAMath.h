// Exact floating-point comparisons: a NaN is unequal to everything.
#pragma once

inline bool fequal(const double& a, const double& b) {
    return a == b;
}
inline bool fnotequal(const double& a, const double& b) {
    return !fequal(a, b);
}
