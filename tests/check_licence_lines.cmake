# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that every source, build and script file carries the licence line
# among its first three lines.
# cmake -DROOT=<project root> -P check_licence_lines.cmake
cmake_minimum_required(VERSION 3.25)

set(tag "SPDX-License-Identifier: GPL-3.0-or-later")
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${ROOT}
  ${ROOT}/*.cpp ${ROOT}/*.h ${ROOT}/*.c ${ROOT}/*.rc.in ${ROOT}/*.sh ${ROOT}/*.cmake ${ROOT}/CMakeLists.txt)
set(missing "")
foreach(f IN LISTS files)
  if(f MATCHES "^(build|dist)/" OR f MATCHES "^fuzz/(corpus|regressions)/")
    continue()
  endif()
  file(STRINGS ${ROOT}/${f} head LIMIT_COUNT 3)
  string(FIND "${head}" "${tag}" at)
  if(at EQUAL -1)
    list(APPEND missing ${f})
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "without the licence line: ${missing}")
endif()
