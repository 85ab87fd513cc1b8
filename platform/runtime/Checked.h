// Integer arithmetic that raises EIntOverflow instead of wrapping.
#pragma once

#include "Errors.h"

#include <concepts>

namespace mirt {

template <std::integral T>
T CheckedAdd(T a, T b)
{
    T r;
    if (__builtin_add_overflow(a, b, &r)) throw EIntOverflow("Integer overflow");
    return r;
}

template <std::integral T>
T CheckedSub(T a, T b)
{
    T r;
    if (__builtin_sub_overflow(a, b, &r)) throw EIntOverflow("Integer overflow");
    return r;
}

template <std::integral T>
T CheckedMul(T a, T b)
{
    T r;
    if (__builtin_mul_overflow(a, b, &r)) throw EIntOverflow("Integer overflow");
    return r;
}

} // namespace mirt
