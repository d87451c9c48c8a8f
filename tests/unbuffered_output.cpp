// SPDX-License-Identifier: GPL-3.0-or-later
// The test program's standard output is unbuffered from before main, so a
// program that crashes still shows its banner and every test it started;
// under Wine an empty output then means the program never started
// (scripts/wine-run.sh runs such a program again).
#include <cstdio>

namespace {

[[maybe_unused]] const int kUnbufferedStdout = std::setvbuf(stdout, nullptr, _IONBF, 0);

}  // namespace
