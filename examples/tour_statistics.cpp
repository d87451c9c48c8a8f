// SPDX-License-Identifier: GPL-3.0-or-later
// Statistics, sorting and running sums: the columns of a small table, a
// sort with a NaN among the values, a running total.
#include <cstdio>
#include <limits>

#include "examples/tour.h"

void tour_statistics(hostsim::Host& host) {
    std::printf("\n== Statistics, sorting and running sums ==\n");
    host.clear_errors();

    say("A table of four days (rows) by three stations (columns). k = 1 works down the columns,\n"
        "one value per station; without k the functions work along the last dimension, the rows.");
    const Arg t = call(host, "math::matrix", {host.string("12.5 9.0 14.0\r\n15.0 8.5 13.5\r\n11.0 9.5 16.5\r\n13.5 10.0 12.0\r\n")}, "t");
    call(host, "math::mean", {t, 1});
    call(host, "math::std", {t, 1});
    call(host, "math::min", {t, 1});
    call(host, "math::max", {t, 1});
    call(host, "math::median", {t, 1});
    say("GSL's quantile: the 0.9 quantile of each column, then of all twelve values (k = 0):");
    call(host, "math::quantile", {t, 0.9, 1});
    call(host, "math::quantile", {t, 0.9, 0});
    say("The mean of each day, across the stations:");
    call(host, "math::mean", {t});

    say("sort is stable and ascending: -0.0 and 0.0 keep their order, NaN goes last.");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    call(host, "math::sort", {nested(host, "math::ra1", {3.0, nan, -1.0, 0.0, 2.0, -0.0})});
    say("Each column of the table sorted:");
    call(host, "math::sort", {t, 1});

    say("A running total down each column; its last row is Sum(t, 1) to the bit:");
    call(host, "math::cumsum", {t, 1});
    call(host, "math::Sum", {t, 1});
    call(host, "math::cumprod", {nested(host, "math::ra1", {1.0, 2.0, 3.0, 4.0})});

    say("p outside [0, 1] reports code 4:");
    call(host, "math::quantile", {t, 1.5});
}
