# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the built library's binary interface: its one dynamic export is
# QeDll64 and, for the Windows DLL, it imports from Windows system DLLs only
# (no compiler runtime or GSL DLL has to travel with it) and carries a
# version resource.
# cmake -DLIBRARY=<file> -DNM=<nm> -DOBJDUMP=<objdump> -P check_exports.cmake
cmake_minimum_required(VERSION 3.25)

function(read_tool out)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE text RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${ARGN} failed")
  endif()
  string(REPLACE "\n" ";" lines "${text}")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

set(exports "")
set(imports "")
if(LIBRARY MATCHES "\\.dll$")
  read_tool(lines ${OBJDUMP} -p ${LIBRARY})
  set(in_names FALSE)
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*DLL Name: (.*)$")
      list(APPEND imports "${CMAKE_MATCH_1}")
    elseif(line MATCHES "\\[Ordinal/Name Pointer\\] Table")
      set(in_names TRUE)
    elseif(in_names AND line MATCHES "^[ \t]*\\[ *[0-9]+\\] (.+)$")
      list(APPEND exports "${CMAKE_MATCH_1}")
    else()
      set(in_names FALSE)
    endif()
  endforeach()
  if(NOT imports)
    message(FATAL_ERROR "no import table found in ${LIBRARY}")
  endif()
  # The version resource that Windows shows in the file's properties: an
  # entry of type 16 at the top of the resource tree, which objdump lists
  # as "<offset>   Entry: ID: 0x000010" (deeper levels are indented further).
  set(has_version FALSE)
  foreach(line IN LISTS lines)
    if(line MATCHES "^[0-9a-f]+   Entry: ID: 0x0*10,")
      set(has_version TRUE)
    endif()
  endforeach()
  if(NOT has_version)
    message(SEND_ERROR "no version resource in ${LIBRARY}")
  endif()
  # Part of every Windows installation.
  set(system_dlls kernel32.dll user32.dll msvcrt.dll)
  foreach(dll IN LISTS imports)
    string(TOLOWER "${dll}" lower)
    if(NOT lower IN_LIST system_dlls AND NOT lower MATCHES "^api-ms-win-")
      message(SEND_ERROR "imports ${dll}, which is not a Windows system DLL")
    endif()
  endforeach()
else()
  read_tool(lines ${NM} -D --defined-only ${LIBRARY})
  foreach(line IN LISTS lines)
    if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] (.+)$")
      list(APPEND exports "${CMAKE_MATCH_1}")
    endif()
  endforeach()
endif()

if(NOT exports STREQUAL "QeDll64")
  message(FATAL_ERROR "exports '${exports}'; expected QeDll64 alone")
endif()
message(STATUS "exports: ${exports}; imports: ${imports}")
