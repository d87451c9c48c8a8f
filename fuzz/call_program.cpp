// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzz/call_program.h"

#include <array>
#include <bit>
#include <cmath>
#include <ctime>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace callfuzz {

namespace {

using hostsim::Host;

// Reads the input front to back; past the end every read is 0, so every
// input decodes to some program.
class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint8_t byte() { return pos_ < bytes_.size() ? bytes_[pos_++] : 0; }
    uint64_t word() {
        uint64_t w = 0;
        for (int k = 0; k < 8; ++k) w = (w << 8) | byte();
        return w;
    }
    size_t pick(size_t n) { return n == 0 ? 0 : byte() % n; }
    bool flag() { return (byte() & 1) != 0; }
    std::string text(size_t most) {
        const size_t n = std::min<size_t>(byte(), most);
        std::string s;
        for (size_t k = 0; k < n; ++k) s += static_cast<char>(byte());
        return s;
    }

private:
    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
};

constexpr int64_t kInt64Min = std::numeric_limits<int64_t>::min();
constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();

const int64_t kIntegers[] = {0, 1, -1, 2, 3, 4, 5, 6, 10, 18, 19, 100, 101, 1000,
                             std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                             int64_t{1} << 31, int64_t{1} << 32, int64_t{1} << 62, -(int64_t{1} << 62),
                             kInt64Min, kInt64Max};

const double kReals[] = {0.0, -0.0, 1.0, -1.0, 0.5, 2.0, 3.0, 1e-7, 1e7, 123.456,
                         std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
                         std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::min(), std::numeric_limits<double>::denorm_min(),
                         std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
                         9.2233720368547758e18, -9.2233720368547758e18, 1e300, -1e-300};

const int64_t kSizes[] = {0, 1, 2, 3, 4, 7, int64_t{1} << 31, int64_t{1} << 32, int64_t{1} << 62,
                          -1, kInt64Max, kInt64Min};

// Lengths that are primes (a transform's worst case) and sizes around them.
const int64_t kStructuredLengths[] = {2, 3, 5, 7, 8, 11, 13, 16, 97, 101, 127, 251, 256, 1009, 4099};

const char* const kStrings[] = {"", "1 2 3", "1,2;3,4", "\r\n", "1\r\n2\r\n\r\n3", "1 2\r3 4\n", "abc", "1e400",
                                "-1e-400", "nan", "inf", "-0", "0x10", "1.5.2", " ,;\t", "1 2 3 4 5 6 7 8 9 10 11 12"};

// One decoded program: the values it made, the calls it runs.
class Program {
public:
    Program(Host& host, Reader& in, const Options& options) : host_(host), in_(in), options_(options) {}

    std::string run();

private:
    struct Call {
        bool is_operator = false;
        std::string key;
        int32_t code = 0;
        std::vector<HostValue> args;
        int64_t last_index = -1;
    };

    int64_t integer() {
        const uint8_t b = in_.byte();
        if (b < 0xF0) return kIntegers[b % std::size(kIntegers)];
        return static_cast<int64_t>(in_.word());
    }
    double real() {
        const uint8_t b = in_.byte();
        if (b < 0xF0) return kReals[b % std::size(kReals)];
        return std::bit_cast<double>(in_.word());
    }
    int64_t size() { return kSizes[in_.pick(std::size(kSizes))]; }

    HostValue value(int depth);
    HostValue small_array(std::optional<int32_t> ext);
    HostValue structured_array();
    double structured_element(size_t pattern, int64_t i, int64_t j, int64_t n);
    HostValue odd_array();
    HostValue unknown_object();
    HostValue script_function(int depth);
    Call call(int depth);
    HostValue perform(Call& c);
    std::string check(const HostValue& result);

    Host& host_;
    Reader& in_;
    std::vector<HostValue> pool_;
    // The arguments of the calls running now, innermost last: what a script
    // function may let go of while the library still works on it.
    std::vector<std::vector<HostValue>*> active_;
    // Objects the host does not know, for records that point at them.
    std::vector<std::unique_ptr<RealArray>> strangers_;
    std::vector<std::unique_ptr<double[]>> stranger_data_;
    // Callbacks into the library from script functions, across the program:
    // bounded so that nested integrations cannot multiply without end.
    int callbacks_left_ = 16;
    // The real host lets its user break a script that runs too long: the
    // break is a pending run error, which every long loop of the library
    // tests for. A walk or an integration that a script asked to be long is
    // interrupted the same way here, once a program has used up its
    // evaluations, so that only a loop that ignores the break counts as a hang.
    int64_t evaluations_left_ = 200'000;
    const Options options_;
    bool structured() const { return options_.edition == Edition::kStructured; }
    // The first top-level call that ran past the budget.
    std::string slow_call_;
};

HostValue Program::small_array(std::optional<int32_t> ext) {
    std::vector<int64_t> shape(1 + in_.pick(3));
    for (auto& s : shape) s = static_cast<int64_t>(in_.pick(5));  // 0 to 4
    int64_t count = 1;
    for (int64_t s : shape) count *= s;
    std::vector<double> values(static_cast<size_t>(count));
    for (auto& v : values) v = real();
    return host_.array(shape, values, ext);
}

// Arrays that random values almost never build: square and rectangular
// matrices that mix scales (a block of subnormal numbers beside normal ones,
// elements near the largest double, graded rows, one nonzero element) and
// vectors of prime lengths.
double Program::structured_element(size_t pattern, int64_t i, int64_t j, int64_t n) {
    constexpr double kLargest = std::numeric_limits<double>::max();
    constexpr double kTiny = std::numeric_limits<double>::denorm_min();
    const double base = 1.0 + static_cast<double>((i * 7 + j * 3) % 11) / 8.0 - (i == j ? 0.0 : 0.7);
    switch (pattern) {
        case 0: return base;
        case 1: return i >= n / 2 && j >= n / 2 ? base * kTiny * static_cast<double>(1 + (i + j) % 5) : base;
        case 2: return (i + j) % 2 == 0 ? kLargest * (base / 3.0) : base;
        case 3: return std::ldexp(base, static_cast<int>(-200 * i));
        case 4: return i == 0 && j == n - 1 ? base : 0.0;
        case 5: return (i == j ? 1e-70 : 0.0) + (i + j == n ? 1e-310 : 0.0);
        default: return real();
    }
}

HostValue Program::structured_array() {
    const size_t pattern = in_.pick(7);
    if (in_.flag()) {  // a vector of a prime (or nearby) length
        const int64_t n = kStructuredLengths[in_.pick(std::size(kStructuredLengths))];
        std::vector<double> values(static_cast<size_t>(n));
        for (int64_t i = 0; i < n; ++i) values[static_cast<size_t>(i)] = structured_element(pattern % 6, i, i, n);
        return host_.array({n}, values);
    }
    const int64_t rows = kStructuredLengths[in_.pick(7)];
    const int64_t cols = in_.flag() ? rows : kStructuredLengths[in_.pick(7)];
    std::vector<double> values(static_cast<size_t>(rows * cols));
    for (int64_t i = 0; i < rows; ++i) {
        for (int64_t j = 0; j < cols; ++j) {
            values[static_cast<size_t>(i * cols + j)] = structured_element(pattern, i, j, std::min(rows, cols));
        }
    }
    if (in_.flag()) {  // symmetric, for eig's symmetric path
        for (int64_t i = 0; i < std::min(rows, cols); ++i) {
            for (int64_t j = 0; j < i; ++j) values[static_cast<size_t>(i * cols + j)] = values[static_cast<size_t>(j * cols + i)];
        }
    }
    return host_.array({rows, cols}, values);
}

// Headers a host might hand over: no elements with huge sizes, garbage in
// the unused second size of a vector, sizes that disagree with the count.
HostValue Program::odd_array() {
    const int64_t count = static_cast<int64_t>(in_.pick(6));
    const int64_t ndims = static_cast<int64_t>(in_.pick(5));
    std::vector<int64_t> sizes(static_cast<size_t>(std::max<int64_t>(ndims, 2)));
    for (auto& s : sizes) s = size();
    const HostValue a = host_.array_with_header(count, sizes, ndims, in_.flag() ? std::optional<int32_t>(kTypeRealArray) : std::nullopt);
    RealArray* o = host_.object(a);
    for (int64_t k = 0; k < count; ++k) o->data[k] = real();
    return a;
}

// A record that names an object the host never made: a real array with a
// data pointer nobody may follow, or a plain number in the pointer word.
HostValue Program::unknown_object() {
    if (in_.flag()) return HostValue{in_.word(), 0, 0, static_cast<int32_t>(in_.word()), kTypeRealArray};
    auto& data = stranger_data_.emplace_back(new double[4]());
    auto& a = strangers_.emplace_back(new RealArray{data.get(), 4, nullptr, 2});
    a->dims = reinterpret_cast<int64_t*>(data.get());
    return make_array_value(a.get(), in_.flag() ? kTypeRealArray : static_cast<int32_t>(in_.word()));
}

// Script functions that misbehave in the ways a script can: the wrong
// result type, a run error left pending, assignments to their parameters,
// calls back into the library, and, at a chosen evaluation, letting go of
// an array of the call that evaluates them or of their own parameters,
// giving an array of that call storage of another size, or putting other
// values (a real, a vector of another length) in their parameters' place;
// and values that searches and integrations must not take for answers: NaN
// over a stretch or at every call, a function unbounded below, -infinity,
// a root or minimum at exactly 0.
HostValue Program::script_function(int depth) {
    const int nparams = static_cast<int>(in_.pick(4));
    const size_t behaviour = in_.pick(structured() ? 17 : 12);
    const double constant = real();
    const size_t victim = in_.pick(9);
    const int64_t at_evaluation = 1 + static_cast<int64_t>(in_.pick(4));
    auto evaluations = std::make_shared<int64_t>(0);
    std::shared_ptr<Call> nested;
    if (behaviour == 7 && depth < 2) nested = std::make_shared<Call>(call(depth + 1));
    Host* host = &host_;
    int* callbacks_left = &callbacks_left_;
    int64_t* evaluations_left = &evaluations_left_;
    Program* self = this;
    return host_.function(
        nparams,
        [=](std::span<HostValue> params) -> HostValue {
            if (--*evaluations_left == 0) host->raise("break", 1);
            const double x = !params.empty() && params[0].base_type == kTypeReal ? params[0].real() : 1.0;
            switch (behaviour) {
                case 0: return make_real(x * x + constant);
                case 1: return make_integer(3);
                case 2: return make_empty();
                case 3: return host->array({2}, {x, constant});
                case 4: host->raise("script", 1); return make_real(x);
                case 5:
                    for (auto& p : params) p = make_real(constant);
                    return make_real(x);
                case 6: return make_pair(x, constant);
                case 8:  // lets go of an array of the call evaluating it
                    if (++*evaluations == at_evaluation && !self->active_.empty()) {
                        const std::vector<HostValue>& args = *self->active_.back();
                        if (!args.empty()) host->release(args[victim % args.size()]);
                    }
                    return make_real(x + constant);
                case 9:  // lets go of the arrays in its own parameters
                    if (++*evaluations == at_evaluation) {
                        for (const HostValue& p : params) host->release(p);
                    }
                    return make_real(x);
                case 10:  // replaces its parameters: a real, or a vector of another length
                    if (++*evaluations == at_evaluation && !params.empty()) {
                        HostValue& p = params[victim % params.size()];
                        p = victim % 2 == 0 ? make_real(constant) : host->array({static_cast<int64_t>(victim)}, {constant});
                    }
                    return make_real(x);
                case 11:  // resizes an array of the call evaluating it, to 0 to 8 elements
                    if (++*evaluations == at_evaluation && !self->active_.empty()) {
                        const std::vector<HostValue>& args = *self->active_.back();
                        if (!args.empty()) host->resize(args[victim % args.size()], static_cast<int64_t>(victim));
                    }
                    return make_real(x + constant);
                case 12: return make_real(x > constant ? std::numeric_limits<double>::quiet_NaN() : x * x);
                case 13: return make_real(std::numeric_limits<double>::quiet_NaN());
                case 14: {  // unbounded below in every parameter
                    double sum = 0.0;
                    for (const HostValue& p : params) sum += p.base_type == kTypeReal ? p.real() : 0.0;
                    return make_real(sum - constant);
                }
                case 15: return make_real(x < 0.0 ? -std::numeric_limits<double>::infinity() : x);
                case 16: return make_real(std::sin(x));  // roots and a flat stretch at exactly 0
                default:
                    if (!nested || *callbacks_left <= 0) return make_real(constant);
                    --*callbacks_left;
                    {
                        Call again = *nested;
                        return self->perform(again);
                    }
            }
        },
        behaviour == 5 || behaviour == 9 || behaviour == 10);
}

HostValue Program::value(int depth) {
    switch (in_.pick(16)) {
        case 0: return make_empty();
        case 1: return make_integer(integer());
        case 2: return make_real(real());
        case 3: return make_pair(real(), real());
        case 4: return HostValue{in_.flag() ? 1u : in_.word(), 0, 0, kTypeLogical, kTypeLogical};
        case 5: {
            const int64_t codes[] = {kOptionAll, 12, 13, 1, -1};
            return make_option(codes[in_.pick(std::size(codes))]);
        }
        case 6: return host_.string(kStrings[in_.pick(std::size(kStrings))]);
        case 7: return host_.string(in_.flag() ? std::string(2000 + in_.pick(200), '7') : in_.text(64));
        case 8: return small_array(std::nullopt);
        case 9: return small_array(kTypeRealArray);
        case 10: {  // an array whose record carries a wrong extended type
            HostValue a = small_array(std::nullopt);
            a.ext_type = static_cast<int32_t>(integer());
            return a;
        }
        case 11: return structured() && in_.flag() ? structured_array() : odd_array();
        case 12: return unknown_object();
        case 13: return script_function(depth);
        case 14:  // any type words over any payload
            return HostValue{in_.word(), in_.word(), in_.word(), static_cast<int32_t>(in_.word()),
                             static_cast<int32_t>(integer())};
        default:
            if (pool_.empty()) return make_empty();
            return pool_[in_.pick(pool_.size())];
    }
}

Program::Call Program::call(int depth) {
    Call c;
    const std::vector<std::string>& keys = host_.function_order();
    c.is_operator = in_.pick(3) == 0 || keys.empty();
    size_t nargs = in_.pick(9);
    if (c.is_operator) {
        const uint8_t b = in_.byte();
        c.code = b < 0xF0 ? b % 71 : static_cast<int32_t>(in_.word());
        c.last_index = static_cast<int64_t>(nargs) - 1;
        nargs = std::max<size_t>(nargs, 2);  // the records an operand-form handler reads
    } else {
        c.key = keys[in_.pick(keys.size())];
        const int32_t param_code = host_.function_key(c.key)->param_code;
        if (param_code >= 0) nargs = static_cast<size_t>(param_code) + 1;
    }
    for (size_t k = 0; k < nargs; ++k) c.args.push_back(value(depth));
    return c;
}

// The processor time of the whole process (the library's threads included),
// so that other work on the machine does not count.
double process_seconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

HostValue Program::perform(Call& c) {
    active_.push_back(&c.args);
    const double start = process_seconds();
    const HostValue r = c.is_operator ? host_.apply_with_last_index(c.code, c.args, c.last_index)
                                      : host_.call(c.key, c.args);
    // Every input here is far below a megabyte: a call (with what it calls
    // back) that takes more than a second of processor time does work its
    // size does not explain.
    const double budget = options_.call_budget_seconds;
    if (budget > 0.0 && active_.size() == 1 && process_seconds() - start > budget && slow_call_.empty()) {
        slow_call_ = (c.is_operator ? "operator " + std::to_string(c.code) : c.key) + " ran past its budget";
    }
    active_.pop_back();
    pool_.push_back(r);
    for (const HostValue& a : c.args) pool_.push_back(a);  // out-parameters the call wrote
    return r;
}

std::string Program::check(const HostValue& result) {
    if (result.base_type == 0x7777 || result.ext_type == 0x7777) return "a result record left unwritten";
    if (result.base_type == kTypeRealArray && result.word1 != 0 && host_.object(result) == nullptr &&
        result.ext_type == host_.locked_key())
        return "a math-array result names an object the host does not know";
    return {};
}

std::string Program::run() {
    const uint8_t setup = in_.byte();
    host_.set_output_enabled((setup & 1) == 0);
    host_.set_pending((setup & 2) != 0);
    if ((setup & 4) != 0) host_.fail_allocation_at(1 + in_.pick(12));
    const int64_t mismatches = host_.context_mismatches();
    const size_t calls = 1 + in_.pick(6);
    for (size_t n = 0; n < calls; ++n) {
        Call c = call(0);
        const HostValue r = perform(c);
        if (std::string breach = check(r); !breach.empty()) return breach;
        if (!slow_call_.empty()) return slow_call_;
    }
    if (host_.ownership_faults() != 0) return host_.ownership_fault_log().front();
    if (host_.context_mismatches() != mismatches) return "a host call with a foreign context";
    return {};
}

}  // namespace

std::string run_program(Host& host, std::span<const uint8_t> bytes, const Options& options) {
    host.clear_values();
    host.set_max_elements(int64_t{1} << 16);
    Reader in(bytes);
    std::string breach = Program(host, in, options).run();
    host.clear_values();
    return breach;
}

}  // namespace callfuzz
