# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that the GSL objects linked into the library call none of the
# platform's inexact mathematical functions: the link map names the archive
# members the link took from the bound GSL archives (cmake/bound-gsl.cmake),
# nm their undefined symbols. The functions whose results are exactly
# defined (sqrt, fabs, floor, ldexp, ...) may stay the platform's; every
# other one must have been renamed to the library's own.
# Prints the mathematical functions those members still call.
# cmake -DMAP=<link map> "-DARCHIVES=<bound archives>" -DNM=<nm> -P check_gsl_binding.cmake
cmake_minimum_required(VERSION 3.25)

# The C library's functions whose results can differ between platforms and
# processors (all but the exactly defined ones).
set(inexact exp exp2 expm1 log log2 log10 log1p pow sin cos tan sincos asin acos atan atan2
            sinh cosh tanh asinh acosh atanh hypot cbrt erf erfc lgamma tgamma j0 j1 jn y0 y1 yn)
set(exact sqrt fabs floor ceil trunc round rint nearbyint fmod modf ldexp frexp scalbn copysign)

file(STRINGS ${MAP} lines)
set(count 0)
foreach(archive IN LISTS ARCHIVES)
  get_filename_component(name ${archive} NAME)
  string(REPLACE "." "\\." pattern "${name}")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[^ ]*bound-gsl/${pattern}\\(([^)]+)\\)")
      list(APPEND linked_${CMAKE_MATCH_1} ${archive})
      math(EXPR count "${count} + 1")
    endif()
  endforeach()
endforeach()
if(count EQUAL 0)
  message(FATAL_ERROR "the link map ${MAP} names no member of the bound GSL archives")
endif()

set(called "")
foreach(archive IN LISTS ARCHIVES)
  execute_process(COMMAND ${NM} -u ${archive} OUTPUT_VARIABLE text RESULT_VARIABLE failed ERROR_QUIET)
  if(failed)
    message(FATAL_ERROR "${NM} -u ${archive} failed")
  endif()
  string(REPLACE "\n" ";" nm_lines "${text}")
  set(linked FALSE)
  foreach(line IN LISTS nm_lines)
    if(line MATCHES "^(.+\\.o):$")
      set(linked FALSE)
      if(archive IN_LIST linked_${CMAKE_MATCH_1})
        set(linked TRUE)
        set(member ${CMAKE_MATCH_1})
      endif()
    elseif(linked AND line MATCHES "^ +U ([A-Za-z0-9_]+)$")
      set(symbol ${CMAKE_MATCH_1})
      if(symbol IN_LIST inexact)
        message(SEND_ERROR "${member} calls the platform's ${symbol}: bind it in elementary/gsl_binding.syms")
      endif()
      if(symbol IN_LIST inexact OR symbol IN_LIST exact OR symbol MATCHES "^hostmath_gsl_")
        list(APPEND called ${symbol})
      endif()
    endif()
  endforeach()
endforeach()
list(REMOVE_DUPLICATES called)
list(SORT called)
message(STATUS "${count} GSL objects linked; the mathematical functions they call: ${called}")
