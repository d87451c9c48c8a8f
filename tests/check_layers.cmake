# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the library's layering (README, Layout): every #include of a
# project header in a folder's sources names a folder that folder may build
# on. Bottom to top: host/;
# elementary/, the correctly rounded elementary functions, which include
# nothing else of the project; kernels/, which includes nothing of the host;
# script/; the families, side by side, none including another; entry/.
# Every folder in the library's sources glob (CMakeLists.txt) needs a row.
# cmake -DROOT=<project root> -P check_layers.cmake
cmake_minimum_required(VERSION 3.25)

set(families array ops integration ode numeric linalg data optim special)

# The folders each folder may include, itself among them.
set(may_include_host host)
set(may_include_elementary elementary)
set(may_include_kernels elementary kernels)
set(may_include_script host elementary kernels script)
foreach(family IN LISTS families)
  set(may_include_${family} host elementary kernels script ${family})
endforeach()
set(may_include_entry host elementary kernels script ${families} entry)
# The stand-in host sees the library only through the host ABI.
set(may_include_hostsim host hostsim)
set(checked host elementary kernels script ${families} entry hostsim)

set(problems "")

# Every folder the library is built from has a row.
file(READ ${ROOT}/CMakeLists.txt cmakelists)
if(NOT cmakelists MATCHES "file\\(GLOB HOSTMATH_SOURCES[^)]*\\)")
  message(FATAL_ERROR "no HOSTMATH_SOURCES glob in ${ROOT}/CMakeLists.txt")
endif()
string(REGEX MATCHALL "[A-Za-z0-9_]+/\\*\\.cpp" globbed "${CMAKE_MATCH_0}")
foreach(pattern IN LISTS globbed)
  string(REGEX REPLACE "/.*" "" folder "${pattern}")
  if(NOT folder IN_LIST checked)
    list(APPEND problems "${folder}/ is built into the library but has no row in tests/check_layers.cmake")
  endif()
endforeach()

foreach(folder IN LISTS checked)
  file(GLOB_RECURSE sources LIST_DIRECTORIES false RELATIVE ${ROOT}
    ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.hpp ${ROOT}/${folder}/*.c ${ROOT}/${folder}/*.cpp)
  foreach(source IN LISTS sources)
    file(STRINGS ${ROOT}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
    foreach(line IN LISTS includes)
      if(NOT line MATCHES "include[ \t]*([\"<])([^\">]*)[\">]")
        continue()
      endif()
      set(quote "${CMAKE_MATCH_1}")
      set(header "${CMAKE_MATCH_2}")
      string(REGEX REPLACE "/.*" "" target "${header}")
      if(header STREQUAL target)
        # No folder: a system header in <>, a bare project header in "".
        if(quote STREQUAL "\"")
          list(APPEND problems "${source}: \"${header}\": include project headers by their folder")
        endif()
        continue()
      endif()
      if(quote STREQUAL "<" AND NOT DEFINED may_include_${target})
        continue()  # a system or library header such as <gsl/gsl_errno.h>
      endif()
      if(NOT target IN_LIST may_include_${folder})
        string(REPLACE ";" "/ " allowed "${may_include_${folder}}")
        list(APPEND problems "${source} includes ${header}: ${folder}/ may include only ${allowed}/")
      endif()
    endforeach()
  endforeach()
endforeach()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "layering broken:\n  ${text}")
endif()
