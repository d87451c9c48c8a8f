// SPDX-License-Identifier: GPL-3.0-or-later
// hostsim: a stand-in for the closed host, for tests, the tour and the
// benchmarks. It exports the 17 host entry points under their own names
// (so the library binds them exactly as it binds the real host's), keeps a
// key table, owns every value it hands out, and records what the library
// does through the interface.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

#include "host/host_abi.h"

namespace hostsim {

// hostsim's own base type for strings; the library recognises strings only
// through GetStr.
inline constexpr int32_t kTypeString = 6;

std::u16string to_u16(std::string_view utf8);
std::string to_utf8(std::u16string_view text);

// Sets (or, without a value, removes) a variable of this process's
// environment, as a user would before starting the host.
void set_environment(const std::string& name, const std::optional<std::string>& value);

struct RunError {
    int32_t kind;
    std::string name;  // UTF-8
    int64_t code;
    bool operator==(const RunError&) const = default;
};

struct DeleteCall {
    std::string key;  // UTF-8, read from exactly `bytes` bytes
    int64_t bytes;
    int32_t kind;
    bool operator==(const DeleteCall&) const = default;
};

struct LockCall {
    int32_t key;
    KeyCallback callback;
    OperatorFn dispatcher;
};

struct FunctionKey {
    ScriptFn fn;
    int32_t param_code;
};

struct OperatorCall {
    int32_t code;
    int32_t type;
    std::vector<int32_t> ext_types;  // of the operands, during the call
};

struct ArrayContents {
    std::vector<int64_t> shape;
    std::vector<double> values;
};

// A script function body: receives the function's own parameter records
// (which it may assign) and returns the result record.
using ScriptBody = std::function<HostValue(std::span<HostValue> params)>;
// The lean form, for hot loops: no std::function on the call path.
using RawScriptBody = HostValue (*)(HostValue* params, void* user);

// Extended type for arrays made by the host: the locked private key, or any
// explicit value such as -252 for a plain host real array.
inline constexpr std::optional<int32_t> kTagPrivateKey = std::nullopt;

class Host {
public:
    // The one host of this process: the exported entry points reach it.
    static Host& get();

    // Forgets keys, values, logs and settings. The library must not be loaded.
    void reset();

    // ---- the library -------------------------------------------------------
    static std::string default_library_path();
    // Opens the library; false if it cannot be opened or lacks QeDll64.
    bool open(const std::string& path = default_library_path());
    // QeDll64(this host's module, 1): the host module is the one that
    // exports hostsim's entry points (system::host_module()).
    int32_t load();
    // QeDll64(module, 1) with another module, e.g. one missing an entry point.
    int32_t load_with_module(void* module);
    int32_t unload();
    void close();
    bool is_open() const { return library_ != nullptr; }

    // ---- keys -------------------------------------------------------------------
    bool has_function(std::string_view key) const;
    std::optional<FunctionKey> function_key(std::string_view key) const;
    // Keys of registered functions and constants, in the order SetFunction / SetConst accepted them.
    const std::vector<std::string>& function_order() const { return function_order_; }
    const std::vector<std::string>& constant_order() const { return constant_order_; }
    std::optional<HostValue> constant(std::string_view key) const;
    size_t function_count() const { return functions_.size(); }
    size_t constant_count() const { return constants_.size(); }

    void refuse_function(std::string_view key) { refused_functions_.insert(to_u16(key)); }
    void refuse_constant(std::string_view key) { refused_constants_.insert(to_u16(key)); }
    // Called whenever SetFunction or SetConst refuses a key, just before it
    // returns (the refusal itself allocates nothing); null for none.
    void set_refusal_hook(void (*hook)()) { refusal_hook_ = hook; }
    // LockKey refuses the next n keys offered, or every key.
    void refuse_locks(int64_t n) { locks_to_refuse_ = n; }
    void refuse_all_locks(bool on = true) { refuse_all_locks_ = on; }

    // The first kMaxLockLog LockKey calls, and how many there were in all.
    static constexpr size_t kMaxLockLog = 1000;
    const std::vector<LockCall>& lock_calls() const { return lock_calls_; }
    int64_t lock_call_count() const { return lock_call_count_; }
    std::optional<int32_t> locked_key() const { return locked_key_; }
    OperatorFn dispatcher() const { return dispatcher_; }
    const std::vector<DeleteCall>& delete_calls() const { return delete_calls_; }

    // ---- values -----------------------------------------------------------------
    HostValue string(std::string_view utf8);
    // A real array of the given shape; values fill it in storage order (missing
    // ones are 0). Tagged with the private key unless another extended type is given.
    HostValue array(std::vector<int64_t> shape, std::vector<double> values = {},
                    std::optional<int32_t> ext_type = kTagPrivateKey);
    // An array whose header says whatever the caller wants, consistent or not:
    // storage for `count` elements (zeros), `ndims` as given, and a size array
    // of max(ndims, sizes, 2) entries holding `sizes` (the rest 0). Sizes may
    // be huge, such as 4294967296 x 0: no storage follows them.
    HostValue array_with_header(int64_t count, std::vector<int64_t> sizes, int64_t ndims,
                                std::optional<int32_t> ext_type = kTagPrivateKey);
    HostValue function(int nparams, ScriptBody body, bool modifies_params = false);
    HostValue function(int nparams, RawScriptBody body, void* user, bool modifies_params = false);

    // Drops an array the host made, as the real host does when a script lets
    // go of its last reference: its storage is freed and later lookups of it
    // fail. False when the record holds no array the host knows.
    bool release(const HostValue& v);
    // Gives an array new storage of `count` elements, a vector, as the real
    // host does when a script redimensions an array: the record and its key
    // stay valid, the old elements are freed. False when the record holds no
    // array the host knows.
    bool resize(const HostValue& v, int64_t count);
    // The host's array behind a record, or null when the host made no such array.
    RealArray* object(const HostValue& v) const;
    // Shape and elements of an array value; throws std::invalid_argument when it is none.
    ArrayContents read(const HostValue& v) const;
    std::u16string read_string(const HostValue& v) const;

    // ---- calls --------------------------------------------------------------------
    // Calls a registered function by key. The library may overwrite args.
    // Throws std::invalid_argument for an unknown key or, for a function with
    // a fixed parameter count, a wrong number of arguments.
    HostValue call(std::string_view key, std::vector<HostValue>& args);
    HostValue call(std::string_view key, std::initializer_list<HostValue> args);
    // Applies an operator code through the dispatcher that LockKey received.
    HostValue apply(int32_t code, std::vector<HostValue>& operands);
    HostValue apply(int32_t code, std::initializer_list<HostValue> operands);
    // With a last index of the caller's choice, below the records given (the
    // host's own operators always pass the records their operators read).
    HostValue apply_with_last_index(int32_t code, std::vector<HostValue>& operands, int64_t last_index);
    // The context pointer every call carries; host calls made with another count as mismatches.
    void* context() { return &context_token_; }

    // The host's own operators (ExeOperator): what they return, and what they saw.
    std::function<HostValue(int32_t code, int64_t last_index, HostValue* operands)> host_operator;
    const std::vector<OperatorCall>& operator_calls() const { return operator_calls_; }

    // ---- run errors ---------------------------------------------------------------
    const std::vector<RunError>& errors() const { return errors_; }
    void clear_errors() { errors_.clear(); }
    void set_pending(bool on) { pending_ = on; }
    bool pending() const { return pending_; }
    // What a script function does to raise an error: reported and pending.
    void raise(std::string_view name, int64_t code);

    // ---- objects ------------------------------------------------------------------
    int64_t new_sys_obj_calls() const { return new_sys_obj_calls_; }
    int64_t fun_re_obj_calls() const { return fun_re_obj_calls_; }
    int64_t fun_save_obj_calls() const { return fun_save_obj_calls_; }
    // FunSaveObj calls with a record (not the null opening call), in order.
    const std::vector<HostValue>& saved_records() const { return saved_records_; }
    int64_t qecal_calls() const { return qecal_calls_; }
    // Makes the n-th NewSysObj call from now fail (1 = the next one); 0 turns it off.
    void fail_new_sys_obj_at(int64_t n) { fail_new_at_ = n > 0 ? new_sys_obj_calls_ + n : 0; }
    // One count over NewSysObj and the library's own allocations (those it
    // makes through its fault probe, InjectAllocationFailure, in builds with
    // fault injection): the n-th from now fails (1 = the next one); 0 turns it off.
    void fail_allocation_at(int64_t n) {
        fail_allocation_at_ = n > 0 ? allocation_count_ + n : 0;
        allocation_failure_injected_ = false;
    }
    int64_t allocation_count() const { return allocation_count_; }
    // Whether the failure set by fail_allocation_at has happened.
    bool allocation_failure_injected() const { return allocation_failure_injected_; }
    // Library allocations that asked the probe (0 in builds without fault injection).
    int64_t probed_allocations() const { return probed_allocations_; }
    // Every call through call() or apply() is audited: each array NewSysObj
    // made during it must be handed back exactly once, as the result with one
    // FunReObj or in a FunSaveObj record. Breaches are counted and described.
    int64_t ownership_faults() const { return static_cast<int64_t>(ownership_faults_.size()); }
    const std::vector<std::string>& ownership_fault_log() const { return ownership_faults_; }
    // Frees every value the host made and forgets logs and counters, but keeps
    // the keys and the loaded library (for callers that make many calls, such
    // as a fuzzer).
    void clear_values();
    // Largest element count NewSysObj grants.
    void set_max_elements(int64_t n) { max_elements_ = n; }
    // What fills a new array's elements (none: left as allocated, for benchmarks).
    void set_new_array_fill(std::optional<double> fill) { new_array_fill_ = fill; }
    // Lookups of arrays the host did not make, and host calls with a foreign context.
    int64_t unknown_array_lookups() const { return unknown_array_lookups_; }
    int64_t context_mismatches() const { return context_mismatches_; }
    // Entry-point calls made on a thread other than the one that reset the
    // host: the library must call the host only from the thread it was called on.
    int64_t foreign_thread_calls() const { return foreign_thread_calls_; }
    void check_thread() {
        if (std::this_thread::get_id() != owner_thread_) ++foreign_thread_calls_;
    }
    int64_t ex_msg_calls() const { return ex_msg_calls_; }

    // ---- output ---------------------------------------------------------------------
    // Whether SearchKey(0, 8, 256) answers the output function or null.
    void set_output_enabled(bool on) { output_enabled_ = on; }
    std::string output() const { return to_utf8(output_); }
    const std::u16string& output_u16() const { return output_; }
    // How many strings the output function received.
    int64_t output_pieces() const { return output_pieces_; }
    void clear_output() {
        output_.clear();
        output_pieces_ = 0;
    }

    // ---- entry points (called by the exported C functions) -------------------------
    int32_t TestRunErr();
    int32_t SetRunErr(int32_t kind, const HostChar* name, int64_t code, int64_t reserved, void* ctx);
    HostValue* QeCal(HostValue* result_buf, void* handle, HostValue* args);
    int32_t GetFor(int64_t fn_word, void** out_word, void** out_handle, HostValue** out_params,
                   int32_t* out_last_param);
    HostChar* GetStr(HostValue* value, void* ctx, int64_t* out_length);
    double* GetArray(HostValue* value, void* ctx, int64_t* out_words);
    int32_t SetFunction(const HostChar* key, ScriptFn fn, int32_t param_code);
    int32_t SetConst(const HostChar* key, HostValue* value);
    int32_t ParaModify(void* handle);
    void* SearchKey(const void* key, int64_t key_bytes, int32_t kind);
    int32_t DeleteKey(const HostChar* key, int64_t key_bytes, int32_t kind);
    int32_t LockKey(int32_t key, KeyCallback callback, OperatorFn dispatcher);
    RealArray* NewSysObj(int32_t kind, int64_t count, int64_t ndims);
    void FunReObj(void* ctx);
    void FunSaveObj(void* ctx, HostValue* record, HostValue* args);
    void* ExMsgWithQe();
    int32_t InjectAllocationFailure();
    HostValue* ExeOperator(HostValue* result_buf, int64_t last_index, HostValue* args, void* ctx, int32_t code,
                           int32_t type);

private:
    struct ArrayObject {
        RealArray header{};
        std::unique_ptr<double[]> data;
        std::unique_ptr<int64_t[]> dims;
    };
    struct ScriptFunction {
        int nparams = 0;
        std::vector<HostValue> params;
        RawScriptBody raw = nullptr;
        void* user = nullptr;
        ScriptBody body;
        bool modifies = false;
    };

    // What one audited call made and handed back.
    struct CallFrame {
        std::vector<const RealArray*> created;
        std::vector<const RealArray*> saved;
        int64_t returned = 0;
    };

    Host() = default;
    HostValue audited(const std::function<HostValue*(HostValue* result)>& run);
    void audit(const CallFrame& frame, const HostValue& result);
    bool next_allocation_fails();
    void check_context(void* ctx);
    int32_t refused();  // a registration's refusal, after the hook
    RealArray* make_array_object(int64_t count, int64_t ndims, bool fill);
    ArrayObject* find_object(const HostValue& v);
    static void scribble_and_free(ArrayObject& o);
    static void capture_output(const HostChar* text);

    void* library_ = nullptr;
    QeDll64Fn qedll_ = nullptr;
    void* module_ = nullptr;
    char context_token_ = 0;
    std::thread::id owner_thread_ = std::this_thread::get_id();
    int64_t foreign_thread_calls_ = 0;

    std::map<std::u16string, FunctionKey> functions_;
    std::map<std::u16string, HostValue> constants_;
    std::vector<std::string> function_order_;
    std::vector<std::string> constant_order_;
    // Searched by view, so that a refusal allocates nothing.
    std::set<std::u16string, std::less<>> refused_functions_;
    std::set<std::u16string, std::less<>> refused_constants_;
    void (*refusal_hook_)() = nullptr;
    int64_t locks_to_refuse_ = 0;
    bool refuse_all_locks_ = false;
    std::vector<LockCall> lock_calls_;
    int64_t lock_call_count_ = 0;
    std::optional<int32_t> locked_key_;
    OperatorFn dispatcher_ = nullptr;
    std::vector<DeleteCall> delete_calls_;

    std::deque<ArrayObject> arrays_;
    std::unordered_set<const RealArray*> known_arrays_;
    std::deque<std::u16string> strings_;
    std::unordered_set<const std::u16string*> known_strings_;
    std::deque<ScriptFunction> script_functions_;
    std::unordered_set<const ScriptFunction*> known_functions_;

    std::vector<OperatorCall> operator_calls_;
    std::vector<RunError> errors_;
    bool pending_ = false;

    int64_t new_sys_obj_calls_ = 0;
    int64_t fun_re_obj_calls_ = 0;
    int64_t fun_save_obj_calls_ = 0;
    std::vector<HostValue> saved_records_;
    int64_t qecal_calls_ = 0;
    int64_t fail_new_at_ = 0;
    int64_t allocation_count_ = 0;
    int64_t fail_allocation_at_ = 0;
    bool allocation_failure_injected_ = false;
    int64_t probed_allocations_ = 0;
    std::vector<CallFrame> frames_;
    std::vector<std::string> ownership_faults_;
    int64_t max_elements_ = int64_t{1} << 28;
    std::optional<double> new_array_fill_ = 0.0;
    int64_t unknown_array_lookups_ = 0;
    int64_t context_mismatches_ = 0;
    int64_t ex_msg_calls_ = 0;

    bool output_enabled_ = true;
    std::u16string output_;
    int64_t output_pieces_ = 0;
};

}  // namespace hostsim
