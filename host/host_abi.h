// SPDX-License-Identifier: GPL-3.0-or-later
// The fixed binary interface between the host and this library.
//
// Plain C-layout types for x86-64. Host wide strings are UTF-16 code units
// (wchar_t on Windows, char16_t elsewhere: the same 16-bit units), always
// null-terminated. Everything here is shared by the library and by the
// stand-in host, so both sides agree on every offset by construction.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

using HostChar = char16_t;

// Base types of a value record. Plain values repeat the base type as their
// extended type; math arrays carry the library's private key instead.
enum HostBaseType : int32_t {
    kTypeEmpty = 0,
    kTypeFunction = 1,
    kTypeInteger = 2,
    kTypeReal = 3,
    kTypePair = 4,
    kTypeLogical = 7,
    kTypeOption = 8,
    kTypeRealArray = -252,
};

// Codes carried by option markers (base type kTypeOption).
enum HostOptionCode : int64_t {
    kOptionAll = 0,
    kOptionStep = 12,
    kOptionRange = 13,
};

// The host's 32-byte value record. Payload words are kept as raw 64-bit
// patterns and read through the accessors below, so no union punning is
// needed for doubles, integers and pointers.
struct HostValue {
    uint64_t word1;
    uint64_t word2;
    uint64_t word3;
    int32_t ext_type;
    int32_t base_type;

    double real() const { return std::bit_cast<double>(word1); }
    double real2() const { return std::bit_cast<double>(word2); }
    int64_t integer() const { return static_cast<int64_t>(word1); }
    void* pointer() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(word1)); }
};
static_assert(sizeof(HostValue) == 32);
static_assert(offsetof(HostValue, word1) == 0);
static_assert(offsetof(HostValue, word2) == 8);
static_assert(offsetof(HostValue, word3) == 16);
static_assert(offsetof(HostValue, ext_type) == 24);
static_assert(offsetof(HostValue, base_type) == 28);

// The host's real-array object. `dims` always has room for at least two sizes.
struct RealArray {
    double* data;
    int64_t count;
    int64_t* dims;
    int64_t ndims;
};
static_assert(sizeof(RealArray) == 32);
static_assert(offsetof(RealArray, data) == 0);
static_assert(offsetof(RealArray, count) == 8);
static_assert(offsetof(RealArray, dims) == 16);
static_assert(offsetof(RealArray, ndims) == 24);

// Value-record constructors shared by both sides of the interface.
inline HostValue make_empty() { return HostValue{0, 0, 0, kTypeEmpty, kTypeEmpty}; }
inline HostValue make_real(double d) {
    return HostValue{std::bit_cast<uint64_t>(d), 0, 0, kTypeReal, kTypeReal};
}
inline HostValue make_integer(int64_t i) {
    return HostValue{static_cast<uint64_t>(i), 0, 0, kTypeInteger, kTypeInteger};
}
inline HostValue make_logical(bool b) { return HostValue{b ? 1u : 0u, 0, 0, kTypeLogical, kTypeLogical}; }
inline HostValue make_pair(double re, double im) {
    return HostValue{std::bit_cast<uint64_t>(re), std::bit_cast<uint64_t>(im), 0, kTypePair, kTypePair};
}
inline HostValue make_option(int64_t code) {
    return HostValue{static_cast<uint64_t>(code), 0, 0, kTypeOption, kTypeOption};
}
inline HostValue make_array_value(RealArray* a, int32_t ext_type) {
    return HostValue{static_cast<uint64_t>(reinterpret_cast<uintptr_t>(a)), 0, 0, ext_type, kTypeRealArray};
}

extern "C" {
// A script function, and the operator dispatcher (the same plus an operator code).
typedef HostValue* (*ScriptFn)(HostValue* result, int64_t last_index, HostValue* args, void* ctx);
typedef HostValue* (*OperatorFn)(HostValue* result, int64_t last_index, HostValue* args, void* ctx,
                                 int32_t code);
typedef void (*KeyCallback)(void* object);
typedef void (*HostOutputFn)(const HostChar* text);

// The 17 host entry points, looked up by name in the host module.
typedef int32_t (*TestRunErrFn)(void);
typedef int32_t (*SetRunErrFn)(int32_t kind, const HostChar* name, int64_t code, int64_t reserved, void* ctx);
typedef HostValue* (*QeCalFn)(HostValue* result_buf, void* handle, HostValue* args);
typedef int32_t (*GetForFn)(void* reserved1, int64_t reserved2, int64_t fn_word, void** out_word,
                            void** out_handle, HostValue** out_params, int32_t* out_last_param);
typedef HostChar* (*GetStrFn)(HostValue* value, void* ctx, int64_t* out_length);
typedef double* (*GetArrayFn)(HostValue* value, void* ctx, int64_t* out_words);
typedef int32_t (*SetFunctionFn)(const HostChar* key, ScriptFn fn, int32_t param_code);
typedef int32_t (*SetConstFn)(const HostChar* key, HostValue* value);
typedef int32_t (*ParaModifyFn)(void* handle);
typedef void* (*SearchKeyFn)(const void* key, int64_t key_bytes, int32_t kind);
typedef int32_t (*DeleteKeyFn)(const HostChar* key, int64_t key_bytes, int32_t kind, void* reserved1,
                               void* reserved2);
typedef int32_t (*LockKeyFn)(int32_t key, KeyCallback callback, OperatorFn dispatcher);
typedef RealArray* (*NewSysObjFn)(int32_t kind, int64_t count, int64_t ndims);
typedef void (*FunReObjFn)(void* ctx);
typedef void (*FunSaveObjFn)(void* ctx, HostValue* record, HostValue* args);
typedef void* (*ExMsgWithQeFn)(void);
typedef HostValue* (*ExeOperatorFn)(HostValue* result_buf, int64_t last_index, HostValue* args, void* ctx,
                                    int32_t code, int32_t type);

// The library's one export.
typedef int32_t (*QeDll64Fn)(void* host_module, int32_t flag);
}

// Key kinds understood by SearchKey and DeleteKey.
enum HostKeyKind : int32_t {
    kKeyFunction = 3,
    kKeyConstant = 4,
    kKeyRealArray = -252,
    kKeyOutputFunction = 256,
};

// The host interface table, bound once per load. Field order is the lookup order.
struct HostApi {
    TestRunErrFn TestRunErr;
    SetRunErrFn SetRunErr;
    QeCalFn QeCal;
    GetForFn GetFor;
    GetStrFn GetStr;
    GetArrayFn GetArray;
    SetFunctionFn SetFunction;
    SetConstFn SetConst;
    ParaModifyFn ParaModify;
    SearchKeyFn SearchKey;
    DeleteKeyFn DeleteKey;
    LockKeyFn LockKey;
    NewSysObjFn NewSysObj;
    FunReObjFn FunReObj;
    FunSaveObjFn FunSaveObj;
    ExMsgWithQeFn ExMsgWithQe;
    ExeOperatorFn ExeOperator;
};
inline constexpr int kHostEntryPointCount = 17;
static_assert(sizeof(HostApi) == kHostEntryPointCount * sizeof(void*));

// Names of the entry points, in HostApi field order (which is also the order
// in which the library looks them up).
inline constexpr const char* kHostEntryPointNames[kHostEntryPointCount] = {
    "TestRunErr", "SetRunErr",  "QeCal",     "GetFor",    "GetStr",     "GetArray",
    "SetFunction", "SetConst",  "ParaModify", "SearchKey", "DeleteKey", "LockKey",
    "NewSysObj",  "FunReObj",   "FunSaveObj", "ExMsgWithQe", "ExeOperator",
};
