// SPDX-License-Identifier: GPL-3.0-or-later
// The host's mathematical functions applied to arrays: sixteen of one
// operand, each an instance of map_one, and atan2 and fmod, instances of
// the binary worker with their own codes (ops/binary.h). The transcendental
// ones are the library's own, correctly rounded (elementary/elementary.h),
// so that they give the same bits on every platform; sqrt, abs, floor, ceil
// and fmod are exact in any library and stay the platform's.
#include <cmath>

#include "elementary/elementary.h"
#include "ops/binary.h"
#include "script/operators.h"

namespace hostmath {

// clang-format off
HostValue* op_sqrt(HostValue* r, HostValue* o, void* c)  { return map_one(r, o[0], c, u"math sqrt",  kInlineElementsPerThread, [](double v) { return std::sqrt(v); }); }
HostValue* op_exp(HostValue* r, HostValue* o, void* c)   { return map_one(r, o[0], c, u"math exp",   kCalledElementsPerThread, [](double v) { return elementary::exp(v); }); }
HostValue* op_ln(HostValue* r, HostValue* o, void* c)    { return map_one(r, o[0], c, u"math ln",    kCalledElementsPerThread, [](double v) { return elementary::log(v); }); }
HostValue* op_lg(HostValue* r, HostValue* o, void* c)    { return map_one(r, o[0], c, u"math lg",    kCalledElementsPerThread, [](double v) { return elementary::log10(v); }); }
HostValue* op_sin(HostValue* r, HostValue* o, void* c)   { return map_one(r, o[0], c, u"math sin",   kCalledElementsPerThread, [](double v) { return elementary::sin(v); }); }
HostValue* op_cos(HostValue* r, HostValue* o, void* c)   { return map_one(r, o[0], c, u"math cos",   kCalledElementsPerThread, [](double v) { return elementary::cos(v); }); }
HostValue* op_tan(HostValue* r, HostValue* o, void* c)   { return map_one(r, o[0], c, u"math tan",   kCalledElementsPerThread, [](double v) { return elementary::tan(v); }); }
HostValue* op_asin(HostValue* r, HostValue* o, void* c)  { return map_one(r, o[0], c, u"math asin",  kCalledElementsPerThread, [](double v) { return elementary::asin(v); }); }
HostValue* op_acos(HostValue* r, HostValue* o, void* c)  { return map_one(r, o[0], c, u"math acos",  kCalledElementsPerThread, [](double v) { return elementary::acos(v); }); }
HostValue* op_atan(HostValue* r, HostValue* o, void* c)  { return map_one(r, o[0], c, u"math atan",  kCalledElementsPerThread, [](double v) { return elementary::atan(v); }); }
HostValue* op_sinh(HostValue* r, HostValue* o, void* c)  { return map_one(r, o[0], c, u"math sinh",  kCalledElementsPerThread, [](double v) { return elementary::sinh(v); }); }
HostValue* op_cosh(HostValue* r, HostValue* o, void* c)  { return map_one(r, o[0], c, u"math cosh",  kCalledElementsPerThread, [](double v) { return elementary::cosh(v); }); }
HostValue* op_tanh(HostValue* r, HostValue* o, void* c)  { return map_one(r, o[0], c, u"math tanh",  kCalledElementsPerThread, [](double v) { return elementary::tanh(v); }); }
// fabs clears the sign bit, NaNs included.
HostValue* op_abs(HostValue* r, HostValue* o, void* c)   { return map_one(r, o[0], c, u"math abs",   kInlineElementsPerThread, [](double v) { return std::fabs(v); }); }
HostValue* op_floor(HostValue* r, HostValue* o, void* c) { return map_one(r, o[0], c, u"math floor", kInlineElementsPerThread, [](double v) { return std::floor(v); }); }
HostValue* op_ceil(HostValue* r, HostValue* o, void* c)  { return map_one(r, o[0], c, u"math ceil",  kInlineElementsPerThread, [](double v) { return std::ceil(v); }); }

// The left operand is always the first argument (atan2's ordinate, fmod's dividend).
HostValue* op_atan2(HostValue* r, HostValue* o, void* c) { return combine_two(r, o, c, {u"math atan2", kTwoArgumentFunctionCodes, kCalledElementsPerThread}, [](double y, double x) { return elementary::atan2(y, x); }); }
HostValue* op_fmod(HostValue* r, HostValue* o, void* c)  { return combine_two(r, o, c, {u"math fmod",  kTwoArgumentFunctionCodes, kCalledElementsPerThread}, [](double y, double x) { return std::fmod(y, x); }); }
// clang-format on

}  // namespace hostmath
