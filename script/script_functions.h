// SPDX-License-Identifier: GPL-3.0-or-later
// Every script function the library registers, in the common signature of
// a host script function. Their rows in the function table live in
// entry/function_table.cpp; their bodies live with their subsystem.
#pragma once

#include "host/host_abi.h"

namespace hostmath {

#define HOSTMATH_SCRIPT_FUNCTION(name) HostValue* name(HostValue* result, int64_t last_index, HostValue* args, void* ctx)

// array/
HOSTMATH_SCRIPT_FUNCTION(toreal);
HOSTMATH_SCRIPT_FUNCTION(SetArray);
HOSTMATH_SCRIPT_FUNCTION(ra1);
HOSTMATH_SCRIPT_FUNCTION(matrix);
HOSTMATH_SCRIPT_FUNCTION(row);
HOSTMATH_SCRIPT_FUNCTION(col);
HOSTMATH_SCRIPT_FUNCTION(linspace);
HOSTMATH_SCRIPT_FUNCTION(zeros);
HOSTMATH_SCRIPT_FUNCTION(ones);
HOSTMATH_SCRIPT_FUNCTION(eye);
HOSTMATH_SCRIPT_FUNCTION(rand);
HOSTMATH_SCRIPT_FUNCTION(randn);
HOSTMATH_SCRIPT_FUNCTION(subg);
HOSTMATH_SCRIPT_FUNCTION(subs);
HOSTMATH_SCRIPT_FUNCTION(reshape);
HOSTMATH_SCRIPT_FUNCTION(ndgrid);
HOSTMATH_SCRIPT_FUNCTION(Sum);
HOSTMATH_SCRIPT_FUNCTION(arrayfun);
HOSTMATH_SCRIPT_FUNCTION(inv);

// ops/
HOSTMATH_SCRIPT_FUNCTION(outa);

// integration/
HOSTMATH_SCRIPT_FUNCTION(gsl_qng);
HOSTMATH_SCRIPT_FUNCTION(gsl_qag);
HOSTMATH_SCRIPT_FUNCTION(gsl_qags);
HOSTMATH_SCRIPT_FUNCTION(gsl_qagp);
HOSTMATH_SCRIPT_FUNCTION(gsl_qagi);
HOSTMATH_SCRIPT_FUNCTION(gsl_qagiu);
HOSTMATH_SCRIPT_FUNCTION(gsl_qagil);
HOSTMATH_SCRIPT_FUNCTION(gsl_qawc);
HOSTMATH_SCRIPT_FUNCTION(gsl_cquad);

// ode/
HOSTMATH_SCRIPT_FUNCTION(gsl_ode);

// numeric/
HOSTMATH_SCRIPT_FUNCTION(netn);
HOSTMATH_SCRIPT_FUNCTION(btFindRoot);
HOSTMATH_SCRIPT_FUNCTION(pqrt);

// linalg/
HOSTMATH_SCRIPT_FUNCTION(solve);
HOSTMATH_SCRIPT_FUNCTION(det);
HOSTMATH_SCRIPT_FUNCTION(chol);
HOSTMATH_SCRIPT_FUNCTION(lstsq);
HOSTMATH_SCRIPT_FUNCTION(eig);
HOSTMATH_SCRIPT_FUNCTION(svd);

// data/
HOSTMATH_SCRIPT_FUNCTION(interp1);
HOSTMATH_SCRIPT_FUNCTION(polyfit);
HOSTMATH_SCRIPT_FUNCTION(polyval);
HOSTMATH_SCRIPT_FUNCTION(polyroots);
HOSTMATH_SCRIPT_FUNCTION(fft);
HOSTMATH_SCRIPT_FUNCTION(ifft);

// optim/ (gsl_cquad lives with the other quadrature functions in integration/)
HOSTMATH_SCRIPT_FUNCTION(fzero);
HOSTMATH_SCRIPT_FUNCTION(fminbnd);
HOSTMATH_SCRIPT_FUNCTION(fminsearch);
HOSTMATH_SCRIPT_FUNCTION(lsqfit);

}  // namespace hostmath
