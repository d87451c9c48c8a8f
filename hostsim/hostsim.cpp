// SPDX-License-Identifier: GPL-3.0-or-later
#include "hostsim/hostsim.h"

#include "host/text.h"
#include "hostsim/system.h"

#include <algorithm>
#include <limits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#ifndef HOSTSIM_DEFAULT_LIBRARY
#ifdef _WIN32
#define HOSTSIM_DEFAULT_LIBRARY "hostmath.dll"
#else
#define HOSTSIM_DEFAULT_LIBRARY "libhostmath.so"
#endif
#endif

#ifdef _WIN32
#define HOSTSIM_EXPORT extern "C" __declspec(dllexport)
#else
#define HOSTSIM_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace hostsim {

// ---- text ---------------------------------------------------------------------

std::u16string to_u16(std::string_view s) {
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        char32_t c = 0xFFFD;
        size_t n = 1;
        if (b < 0x80) {
            c = b;
        } else if ((b >> 5) == 0x6 && i + 1 < s.size()) {
            c = ((b & 0x1Fu) << 6) | (s[i + 1] & 0x3F);
            n = 2;
        } else if ((b >> 4) == 0xE && i + 2 < s.size()) {
            c = ((b & 0x0Fu) << 12) | ((s[i + 1] & 0x3Fu) << 6) | (s[i + 2] & 0x3F);
            n = 3;
        } else if ((b >> 3) == 0x1E && i + 3 < s.size()) {
            c = ((b & 0x07u) << 18) | ((s[i + 1] & 0x3Fu) << 12) | ((s[i + 2] & 0x3Fu) << 6) | (s[i + 3] & 0x3F);
            n = 4;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += n;
    }
    return out;
}

std::string to_utf8(std::u16string_view s) { return hosttext::to_utf8(s); }

void set_environment(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
    if (value) {
        setenv(name.c_str(), value->c_str(), 1);
    } else {
        unsetenv(name.c_str());
    }
#endif
}

namespace {

std::u16string_view key_view(const HostChar* key) {
    return key == nullptr ? std::u16string_view{} : std::u16string_view{key};
}

}  // namespace

// ---- lifetime -------------------------------------------------------------------

Host& Host::get() {
    static Host host;
    return host;
}

void Host::reset() {
    void* library = library_;
    QeDll64Fn qedll = qedll_;
    *this = Host();
    library_ = library;
    qedll_ = qedll;
}

std::string Host::default_library_path() {
    if (const char* env = std::getenv("HOSTMATH_LIBRARY"); env != nullptr && *env != 0) return env;
    return HOSTSIM_DEFAULT_LIBRARY;
}

void Host::clear_values() {
    Host fresh;
    std::swap(arrays_, fresh.arrays_);
    std::swap(known_arrays_, fresh.known_arrays_);
    std::swap(strings_, fresh.strings_);
    std::swap(known_strings_, fresh.known_strings_);
    std::swap(script_functions_, fresh.script_functions_);
    std::swap(known_functions_, fresh.known_functions_);
    operator_calls_.clear();
    errors_.clear();
    pending_ = false;
    saved_records_.clear();
    fail_new_at_ = 0;
    fail_allocation_at_ = 0;
    allocation_failure_injected_ = false;
    ownership_faults_.clear();
    output_enabled_ = true;
    clear_output();
    host_operator = nullptr;
}

bool Host::open(const std::string& path) {
    close();
    library_ = system::open_library(path);
    if (library_ == nullptr) return false;
    qedll_ = reinterpret_cast<QeDll64Fn>(system::find_symbol(library_, "QeDll64"));
    if (qedll_ == nullptr) {
        close();
        return false;
    }
    return true;
}

int32_t Host::load() {
    if (module_ == nullptr) module_ = system::host_module();
    return load_with_module(module_);
}

int32_t Host::load_with_module(void* module) {
    if (qedll_ == nullptr) throw std::logic_error("hostsim: no library is open");
    return qedll_(module, 1);
}

int32_t Host::unload() {
    if (qedll_ == nullptr) throw std::logic_error("hostsim: no library is open");
    return qedll_(module_, 0);
}

void Host::close() {
    if (library_ != nullptr) system::close_library(library_);
    library_ = nullptr;
    qedll_ = nullptr;
    dispatcher_ = nullptr;
}

// ---- keys -------------------------------------------------------------------------

bool Host::has_function(std::string_view key) const { return functions_.count(to_u16(key)) != 0; }

std::optional<FunctionKey> Host::function_key(std::string_view key) const {
    auto it = functions_.find(to_u16(key));
    if (it == functions_.end()) return std::nullopt;
    return it->second;
}

std::optional<HostValue> Host::constant(std::string_view key) const {
    auto it = constants_.find(to_u16(key));
    if (it == constants_.end()) return std::nullopt;
    return it->second;
}

// ---- values -------------------------------------------------------------------------

HostValue Host::string(std::string_view utf8) {
    const std::u16string& s = strings_.emplace_back(to_u16(utf8));
    known_strings_.insert(&s);
    return HostValue{reinterpret_cast<uintptr_t>(&s), 0, 0, kTypeString, kTypeString};
}

RealArray* Host::make_array_object(int64_t count, int64_t ndims, bool fill) {
    ArrayObject& o = arrays_.emplace_back();
    o.data.reset(new double[static_cast<size_t>(std::max<int64_t>(count, 1))]);
    o.dims.reset(new int64_t[static_cast<size_t>(std::max<int64_t>(ndims, 2))]());
    if (fill && new_array_fill_) std::fill_n(o.data.get(), count, *new_array_fill_);
    o.header = RealArray{o.data.get(), count, o.dims.get(), ndims};
    known_arrays_.insert(&o.header);
    return &o.header;
}

HostValue Host::array(std::vector<int64_t> shape, std::vector<double> values, std::optional<int32_t> ext_type) {
    int64_t count = 1;
    for (int64_t s : shape) count *= s;
    RealArray* a = make_array_object(count, static_cast<int64_t>(shape.size()), false);
    std::fill_n(a->data, count, 0.0);
    std::copy_n(values.begin(), std::min<size_t>(values.size(), static_cast<size_t>(count)), a->data);
    std::copy(shape.begin(), shape.end(), a->dims);
    int32_t ext = ext_type ? *ext_type : locked_key_.value_or(kTypeRealArray);
    return make_array_value(a, ext);
}

HostValue Host::array_with_header(int64_t count, std::vector<int64_t> sizes, int64_t ndims,
                                  std::optional<int32_t> ext_type) {
    const int64_t room = std::max<int64_t>({ndims, static_cast<int64_t>(sizes.size()), 2});
    RealArray* a = make_array_object(count, room, false);
    std::fill_n(a->data, count, 0.0);
    std::copy(sizes.begin(), sizes.end(), a->dims);
    a->ndims = ndims;
    int32_t ext = ext_type ? *ext_type : locked_key_.value_or(kTypeRealArray);
    return make_array_value(a, ext);
}

HostValue Host::function(int nparams, ScriptBody body, bool modifies_params) {
    ScriptFunction& f = script_functions_.emplace_back();
    f.nparams = nparams;
    f.params.assign(static_cast<size_t>(std::max(nparams, 1)), make_empty());
    f.body = std::move(body);
    f.modifies = modifies_params;
    f.raw = [](HostValue* params, void* user) {
        auto* self = static_cast<ScriptFunction*>(user);
        return self->body(std::span<HostValue>(params, static_cast<size_t>(self->nparams)));
    };
    f.user = &f;
    known_functions_.insert(&f);
    return HostValue{reinterpret_cast<uintptr_t>(&f), 0, 0, kTypeFunction, kTypeFunction};
}

HostValue Host::function(int nparams, RawScriptBody body, void* user, bool modifies_params) {
    ScriptFunction& f = script_functions_.emplace_back();
    f.nparams = nparams;
    f.params.assign(static_cast<size_t>(std::max(nparams, 1)), make_empty());
    f.raw = body;
    f.user = user;
    f.modifies = modifies_params;
    known_functions_.insert(&f);
    return HostValue{reinterpret_cast<uintptr_t>(&f), 0, 0, kTypeFunction, kTypeFunction};
}

RealArray* Host::object(const HostValue& v) const {
    auto* a = static_cast<RealArray*>(v.pointer());
    return known_arrays_.count(a) != 0 ? a : nullptr;
}

Host::ArrayObject* Host::find_object(const HostValue& v) {
    const RealArray* a = object(v);
    if (a == nullptr) return nullptr;
    // Arrays released or resized are usually the newest ones.
    for (auto it = arrays_.rbegin(); it != arrays_.rend(); ++it) {
        if (&it->header == a) return &*it;
    }
    return nullptr;
}

// Scribbled over before it is freed, as a host reusing the memory at once
// would: a stale read then sees NaN rather than the old values, even where
// no checker watches the reader (GSL's own code).
void Host::scribble_and_free(ArrayObject& o) {
    std::fill_n(o.data.get(), std::max<int64_t>(o.header.count, 1), std::numeric_limits<double>::quiet_NaN());
    o.data.reset();
    o.dims.reset();
}

bool Host::release(const HostValue& v) {
    ArrayObject* o = find_object(v);
    if (o == nullptr) return false;
    known_arrays_.erase(&o->header);
    scribble_and_free(*o);
    o->header = RealArray{};
    return true;
}

bool Host::resize(const HostValue& v, int64_t count) {
    ArrayObject* o = find_object(v);
    if (o == nullptr || count < 0) return false;
    auto data = std::make_unique<double[]>(static_cast<size_t>(std::max<int64_t>(count, 1)));
    auto dims = std::make_unique<int64_t[]>(2);
    dims[0] = count;
    scribble_and_free(*o);
    o->data = std::move(data);
    o->dims = std::move(dims);
    o->header = RealArray{o->data.get(), count, o->dims.get(), 1};
    return true;
}

ArrayContents Host::read(const HostValue& v) const {
    const RealArray* a = object(v);
    if (a == nullptr) throw std::invalid_argument("hostsim: not an array the host made");
    return ArrayContents{std::vector<int64_t>(a->dims, a->dims + a->ndims),
                         std::vector<double>(a->data, a->data + a->count)};
}

std::u16string Host::read_string(const HostValue& v) const {
    auto* s = static_cast<const std::u16string*>(v.pointer());
    if (known_strings_.count(s) == 0) throw std::invalid_argument("hostsim: not a string the host made");
    return *s;
}

// ---- calls ----------------------------------------------------------------------------

namespace {

// A result record the library must overwrite: any word it forgets shows.
HostValue unwritten_result() { return HostValue{0xDEADBEEF, 0xDEADBEEF, 0xDEADBEEF, 0x7777, 0x7777}; }

}  // namespace

HostValue Host::audited(const std::function<HostValue*(HostValue* result)>& run) {
    frames_.emplace_back();
    HostValue result = unwritten_result();
    const HostValue out = *run(&result);
    const CallFrame frame = std::move(frames_.back());
    frames_.pop_back();
    audit(frame, out);
    return out;
}

void Host::audit(const CallFrame& frame, const HostValue& result) {
    std::map<const RealArray*, int64_t> handed;
    for (const RealArray* a : frame.created) handed[a] = 0;
    auto fault = [this](std::string what) { ownership_faults_.push_back(std::move(what)); };
    for (const RealArray* a : frame.saved) {
        if (handed.count(a) == 0) fault("FunSaveObj with an array the call did not create");
        else ++handed[a];
    }
    if (frame.returned > 0) {
        const auto* r = static_cast<const RealArray*>(result.pointer());
        if (result.base_type != kTypeRealArray || handed.count(r) == 0)
            fault("FunReObj without a new array as the result");
        else
            handed[r] += frame.returned;
    }
    for (const auto& [a, n] : handed) {
        if (n != 1) fault("a new array handed back " + std::to_string(n) + " times");
    }
}

HostValue Host::call(std::string_view key, std::vector<HostValue>& args) {
    auto it = functions_.find(to_u16(key));
    if (it == functions_.end()) throw std::invalid_argument("hostsim: no function " + std::string(key));
    const FunctionKey f = it->second;
    if (f.param_code >= 0 && args.size() != static_cast<size_t>(f.param_code) + 1)
        throw std::invalid_argument("hostsim: wrong argument count for " + std::string(key));
    HostValue none = make_empty();
    HostValue* argv = args.empty() ? &none : args.data();
    return audited([&](HostValue* result) {
        return f.fn(result, static_cast<int64_t>(args.size()) - 1, argv, context());
    });
}

HostValue Host::call(std::string_view key, std::initializer_list<HostValue> args) {
    std::vector<HostValue> v(args);
    return call(key, v);
}

HostValue Host::apply(int32_t code, std::vector<HostValue>& operands) {
    return apply_with_last_index(code, operands, static_cast<int64_t>(operands.size()) - 1);
}

HostValue Host::apply_with_last_index(int32_t code, std::vector<HostValue>& operands, int64_t last_index) {
    if (dispatcher_ == nullptr) throw std::logic_error("hostsim: no operator dispatcher is locked");
    if (last_index >= static_cast<int64_t>(operands.size()))
        throw std::invalid_argument("hostsim: last index beyond the operands");
    const OperatorFn dispatcher = dispatcher_;
    HostValue none = make_empty();
    HostValue* argv = operands.empty() ? &none : operands.data();
    return audited([&](HostValue* result) { return dispatcher(result, last_index, argv, context(), code); });
}

HostValue Host::apply(int32_t code, std::initializer_list<HostValue> operands) {
    std::vector<HostValue> v(operands);
    return apply(code, v);
}

void Host::raise(std::string_view name, int64_t code) {
    errors_.push_back(RunError{1, std::string(name), code});
    pending_ = true;
}

void Host::check_context(void* ctx) {
    if (ctx != context()) ++context_mismatches_;
}

// ---- entry points --------------------------------------------------------------------------

int32_t Host::TestRunErr() { return pending_ ? 1 : 0; }

int32_t Host::SetRunErr(int32_t kind, const HostChar* name, int64_t code, int64_t reserved, void* ctx) {
    check_context(ctx);
    if (reserved != 0) ++context_mismatches_;
    errors_.push_back(RunError{kind, to_utf8(key_view(name)), code});
    return 0;
}

HostValue* Host::QeCal(HostValue* result_buf, void* handle, HostValue* args) {
    ++qecal_calls_;
    auto* f = static_cast<ScriptFunction*>(handle);
    // Constructed in place from the body's return value: the body writes the
    // caller's buffer itself, with no temporary to copy (value records are trivial).
    ::new (static_cast<void*>(result_buf)) HostValue(f->raw(args, f->user));
    return result_buf;
}

int32_t Host::GetFor(int64_t fn_word, void** out_word, void** out_handle, HostValue** out_params,
                     int32_t* out_last_param) {
    auto* f = reinterpret_cast<ScriptFunction*>(static_cast<uintptr_t>(fn_word));
    if (known_functions_.count(f) == 0) return 0;
    *out_word = f;
    *out_handle = f;
    *out_params = f->params.data();
    *out_last_param = f->nparams - 1;
    return 1;
}

HostChar* Host::GetStr(HostValue* value, void* ctx, int64_t* out_length) {
    check_context(ctx);
    if (value->base_type != kTypeString) return nullptr;
    auto* s = static_cast<std::u16string*>(value->pointer());
    if (known_strings_.count(s) == 0) return nullptr;
    if (out_length != nullptr) *out_length = static_cast<int64_t>(s->size());
    return s->data();
}

double* Host::GetArray(HostValue* value, void* ctx, int64_t* out_words) {
    check_context(ctx);
    RealArray* a = object(*value);
    if (a == nullptr || value->base_type != kTypeRealArray) return nullptr;
    out_words[0] = a->count;
    return a->data;
}

int32_t Host::refused() {
    if (refusal_hook_ != nullptr) refusal_hook_();
    return 1;
}

int32_t Host::SetFunction(const HostChar* key, ScriptFn fn, int32_t param_code) {
    if (refused_functions_.contains(key_view(key))) return refused();
    std::u16string k(key_view(key));
    if (functions_.count(k) == 0) function_order_.push_back(to_utf8(k));
    functions_[k] = FunctionKey{fn, param_code};
    return 0;
}

int32_t Host::SetConst(const HostChar* key, HostValue* value) {
    if (refused_constants_.contains(key_view(key))) return refused();
    std::u16string k(key_view(key));
    if (constants_.count(k) == 0) constant_order_.push_back(to_utf8(k));
    constants_[k] = *value;
    return 0;
}

int32_t Host::ParaModify(void* handle) { return static_cast<ScriptFunction*>(handle)->modifies ? 1 : 0; }

void* Host::SearchKey(const void* key, int64_t key_bytes, int32_t kind) {
    if (key_bytes != 8) return nullptr;
    uint64_t word = 0;
    std::memcpy(&word, key, 8);
    if (kind == kKeyOutputFunction) {
        return (word == 0 && output_enabled_) ? reinterpret_cast<void*>(&Host::capture_output) : nullptr;
    }
    if (kind == kKeyRealArray) {
        auto* a = reinterpret_cast<RealArray*>(static_cast<uintptr_t>(word));
        if (known_arrays_.count(a) != 0) return a;
        ++unknown_array_lookups_;
    }
    return nullptr;
}

int32_t Host::DeleteKey(const HostChar* key, int64_t key_bytes, int32_t kind) {
    std::u16string k(key, static_cast<size_t>(std::max<int64_t>(key_bytes, 0) / 2));
    delete_calls_.push_back(DeleteCall{to_utf8(k), key_bytes, kind});
    if (kind == kKeyFunction) functions_.erase(k);
    if (kind == kKeyConstant) constants_.erase(k);
    return 0;
}

int32_t Host::LockKey(int32_t key, KeyCallback callback, OperatorFn dispatcher) {
    ++lock_call_count_;
    if (lock_calls_.size() < kMaxLockLog) lock_calls_.push_back(LockCall{key, callback, dispatcher});
    if (callback == nullptr) {  // release
        if (locked_key_ == key) {
            locked_key_.reset();
            dispatcher_ = nullptr;
        }
        return 0;
    }
    if (refuse_all_locks_) return 1;
    if (locks_to_refuse_ > 0) {
        --locks_to_refuse_;
        return 1;
    }
    locked_key_ = key;
    dispatcher_ = dispatcher;
    return 0;
}

bool Host::next_allocation_fails() {
    ++allocation_count_;
    if (fail_allocation_at_ == 0 || allocation_count_ != fail_allocation_at_) return false;
    allocation_failure_injected_ = true;
    return true;
}

RealArray* Host::NewSysObj(int32_t kind, int64_t count, int64_t ndims) {
    ++new_sys_obj_calls_;
    if (next_allocation_fails()) return nullptr;
    if (fail_new_at_ != 0 && new_sys_obj_calls_ == fail_new_at_) return nullptr;
    if (kind != kTypeRealArray || count < 0 || ndims < 0 || count > max_elements_ || ndims > 64) return nullptr;
    RealArray* a = nullptr;
    try {
        a = make_array_object(count, ndims, true);
    } catch (const std::bad_alloc&) {
        arrays_.pop_back();
        return nullptr;
    }
    if (!frames_.empty()) frames_.back().created.push_back(a);
    return a;
}

int32_t Host::InjectAllocationFailure() {
    ++probed_allocations_;
    return next_allocation_fails() ? 1 : 0;
}

void Host::FunReObj(void* ctx) {
    check_context(ctx);
    ++fun_re_obj_calls_;
    if (!frames_.empty()) ++frames_.back().returned;
}

void Host::FunSaveObj(void* ctx, HostValue* record, HostValue* /*args*/) {
    check_context(ctx);
    ++fun_save_obj_calls_;
    if (record == nullptr) return;
    saved_records_.push_back(*record);
    if (!frames_.empty()) frames_.back().saved.push_back(static_cast<const RealArray*>(record->pointer()));
}

void* Host::ExMsgWithQe() {
    ++ex_msg_calls_;
    return nullptr;
}

HostValue* Host::ExeOperator(HostValue* result_buf, int64_t last_index, HostValue* args, void* ctx, int32_t code,
                             int32_t type) {
    check_context(ctx);
    OperatorCall c{code, type, {}};
    for (int64_t i = 0; i <= last_index; ++i) c.ext_types.push_back(args[i].ext_type);
    operator_calls_.push_back(std::move(c));
    *result_buf = host_operator ? host_operator(code, last_index, args) : make_empty();
    return result_buf;
}

void Host::capture_output(const HostChar* text) {
    Host& h = get();
    h.output_ += key_view(text);
    ++h.output_pieces_;
}

}  // namespace hostsim

// ---- the exported entry points ----------------------------------------------------------------

using hostsim::Host;

HOSTSIM_EXPORT int32_t SetRunErr(int32_t kind, const HostChar* name, int64_t code, int64_t reserved, void* ctx) {
    Host::get().check_thread();
    return Host::get().SetRunErr(kind, name, code, reserved, ctx);
}
namespace {
// QeCal runs once per evaluation of a script function, so it reaches the host
// without the first-use check of Host::get(), which this initialisation has
// already made.
Host* const g_evaluating_host = &Host::get();
}  // namespace
HOSTSIM_EXPORT HostValue* QeCal(HostValue* result_buf, void* handle, HostValue* args) {
    g_evaluating_host->check_thread();
    return g_evaluating_host->QeCal(result_buf, handle, args);
}
// Loops that evaluate script functions test for a pending run error as often
// as they evaluate, so TestRunErr takes the same short way.
HOSTSIM_EXPORT int32_t TestRunErr(void) {
    g_evaluating_host->check_thread();
    return g_evaluating_host->TestRunErr();
}
HOSTSIM_EXPORT int32_t GetFor(void*, int64_t, int64_t fn_word, void** out_word, void** out_handle,
                              HostValue** out_params, int32_t* out_last_param) {
    Host::get().check_thread();
    return Host::get().GetFor(fn_word, out_word, out_handle, out_params, out_last_param);
}
HOSTSIM_EXPORT HostChar* GetStr(HostValue* value, void* ctx, int64_t* out_length) {
    Host::get().check_thread();
    return Host::get().GetStr(value, ctx, out_length);
}
HOSTSIM_EXPORT double* GetArray(HostValue* value, void* ctx, int64_t* out_words) {
    Host::get().check_thread();
    return Host::get().GetArray(value, ctx, out_words);
}
HOSTSIM_EXPORT int32_t SetFunction(const HostChar* key, ScriptFn fn, int32_t param_code) {
    Host::get().check_thread();
    return Host::get().SetFunction(key, fn, param_code);
}
HOSTSIM_EXPORT int32_t SetConst(const HostChar* key, HostValue* value) {
    Host::get().check_thread();
    return Host::get().SetConst(key, value);
}
HOSTSIM_EXPORT int32_t ParaModify(void* handle) {
    Host::get().check_thread();
    return Host::get().ParaModify(handle);
}
HOSTSIM_EXPORT void* SearchKey(const void* key, int64_t key_bytes, int32_t kind) {
    Host::get().check_thread();
    return Host::get().SearchKey(key, key_bytes, kind);
}
HOSTSIM_EXPORT int32_t DeleteKey(const HostChar* key, int64_t key_bytes, int32_t kind, void*, void*) {
    Host::get().check_thread();
    return Host::get().DeleteKey(key, key_bytes, kind);
}
HOSTSIM_EXPORT int32_t LockKey(int32_t key, KeyCallback callback, OperatorFn dispatcher) {
    Host::get().check_thread();
    return Host::get().LockKey(key, callback, dispatcher);
}
HOSTSIM_EXPORT RealArray* NewSysObj(int32_t kind, int64_t count, int64_t ndims) {
    Host::get().check_thread();
    return Host::get().NewSysObj(kind, count, ndims);
}
HOSTSIM_EXPORT void FunReObj(void* ctx) {
    Host::get().check_thread();
    Host::get().FunReObj(ctx);
}
HOSTSIM_EXPORT void FunSaveObj(void* ctx, HostValue* record, HostValue* args) {
    Host::get().check_thread();
    Host::get().FunSaveObj(ctx, record, args);
}
HOSTSIM_EXPORT void* ExMsgWithQe(void) {
    Host::get().check_thread();
    return Host::get().ExMsgWithQe();
}
// Not a host entry point: the fault probe that libraries built with fault
// injection ask before each allocation of their own.
HOSTSIM_EXPORT int32_t InjectAllocationFailure(void) {
    Host::get().check_thread();
    return Host::get().InjectAllocationFailure();
}
HOSTSIM_EXPORT HostValue* ExeOperator(HostValue* result_buf, int64_t last_index, HostValue* args, void* ctx,
                                      int32_t code, int32_t type) {
    Host::get().check_thread();
    return Host::get().ExeOperator(result_buf, last_index, args, ctx, code, type);
}
