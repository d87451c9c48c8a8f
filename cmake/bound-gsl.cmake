# SPDX-License-Identifier: GPL-3.0-or-later
# The library's own GSL: the static archives that scripts/linux-deps.sh and
# scripts/windows-deps.sh build into the cache, copied into the build tree
# with GSL's calls of the mathematical functions renamed to the library's
# correctly rounded ones (elementary/gsl_binding.syms: exp becomes
# hostmath_gsl_exp, defined in elementary/gsl_binding.cpp). GSL then
# computes the same bits on every processor and platform, and the library
# has GSL's state, its error handler among it, to itself: the archives are
# linked into the library and hidden there (-Wl,--exclude-libs,ALL).
# Defines the interface library hostmath_gsl, which only the library links;
# tests and benchmarks that call GSL directly as a reference link GSL::gsl,
# the system's shared libgsl on Linux.
# The same scripts build GMP and MPFR into the same cache: hostmath_mpfr links
# them into the library, hidden there as GSL is, so that the accurate path
# can set GMP's memory functions for the library's copy alone
# (elementary/accurate.cpp); tests and benchmarks link PkgConfig::MPFR.

if(WIN32)
  set(HOSTMATH_GSL_PREFIX ${HOSTMATH_MINGW_PREFIX})
  set(gsl_deps scripts/windows-deps.sh)
elseif(DEFINED ENV{HOSTMATH_CACHE})
  set(HOSTMATH_GSL_PREFIX "$ENV{HOSTMATH_CACHE}/x86_64-linux-gnu")
  set(gsl_deps scripts/linux-deps.sh)
else()
  set(HOSTMATH_GSL_PREFIX "$ENV{HOME}/.cache/hostmath/x86_64-linux-gnu")
  set(gsl_deps scripts/linux-deps.sh)
endif()

set(HOSTMATH_GSL_SYMBOLS ${PROJECT_SOURCE_DIR}/elementary/gsl_binding.syms)
set(bound_dir ${PROJECT_BINARY_DIR}/bound-gsl)
set(HOSTMATH_BOUND_GSL_ARCHIVES "")
foreach(archive libgsl.a libgslcblas.a libmpfr.a libgmp.a)
  if(NOT EXISTS ${HOSTMATH_GSL_PREFIX}/lib/${archive})
    message(FATAL_ERROR "${HOSTMATH_GSL_PREFIX}/lib/${archive} is missing: ${gsl_deps} builds it (scripts/deps.sh runs it)")
  endif()
endforeach()
foreach(archive libgsl.a libgslcblas.a)
  set(cached ${HOSTMATH_GSL_PREFIX}/lib/${archive})
  add_custom_command(OUTPUT ${bound_dir}/${archive}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${bound_dir}
    COMMAND ${CMAKE_OBJCOPY} --redefine-syms=${HOSTMATH_GSL_SYMBOLS} ${cached} ${bound_dir}/${archive}
    DEPENDS ${cached} ${HOSTMATH_GSL_SYMBOLS}
    COMMENT "Binding ${archive}'s mathematical functions to the library's own"
    VERBATIM)
  list(APPEND HOSTMATH_BOUND_GSL_ARCHIVES ${bound_dir}/${archive})
endforeach()
add_custom_target(hostmath_gsl_archives DEPENDS ${HOSTMATH_BOUND_GSL_ARCHIVES})

add_library(hostmath_gsl INTERFACE)
target_include_directories(hostmath_gsl INTERFACE ${HOSTMATH_GSL_PREFIX}/include)
target_link_libraries(hostmath_gsl INTERFACE ${HOSTMATH_BOUND_GSL_ARCHIVES})
add_dependencies(hostmath_gsl hostmath_gsl_archives)

add_library(hostmath_mpfr INTERFACE)
target_link_libraries(hostmath_mpfr INTERFACE ${HOSTMATH_GSL_PREFIX}/lib/libmpfr.a ${HOSTMATH_GSL_PREFIX}/lib/libgmp.a)
