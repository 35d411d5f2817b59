# cmake -DGENERATOR=script.py -DCOMMITTED=dir -DSCRIPT=file.rc -DOUT=dir -P compare_generated.cmake
#
# Runs an image generator into an empty folder and fails unless it writes
# exactly the committed files, byte for byte, and no others; the resource
# script must list every one of them, each under the id its name ends in
# (skin_159.bmp is bitmap 159).  The generators need Debian's python3-pil,
# so they run with /usr/bin/python3.

foreach(var GENERATOR COMMITTED SCRIPT OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "compare_generated: ${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
execute_process(
  COMMAND /usr/bin/python3 "${GENERATOR}" --out "${OUT}"
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "compare_generated: ${GENERATOR} failed (${rc})")
endif()

file(GLOB committed RELATIVE "${COMMITTED}" "${COMMITTED}/*")
file(GLOB generated RELATIVE "${OUT}" "${OUT}/*")
list(SORT committed)
list(SORT generated)
if(NOT committed STREQUAL generated)
  message(FATAL_ERROR "compare_generated: file lists differ\n"
    "  committed: ${committed}\n  generated: ${generated}")
endif()
list(LENGTH committed count)
if(count EQUAL 0)
  message(FATAL_ERROR "compare_generated: ${COMMITTED} holds no files")
endif()

set(differ "")
foreach(name IN LISTS committed)
  file(SHA256 "${COMMITTED}/${name}" a)
  file(SHA256 "${OUT}/${name}" b)
  if(NOT a STREQUAL b)
    list(APPEND differ ${name})
  endif()
endforeach()
if(differ)
  message(FATAL_ERROR "compare_generated: regenerated files differ from the "
    "committed ones: ${differ}")
endif()
file(STRINGS "${SCRIPT}" lines REGEX "^[0-9]+ [A-Z]+ \"")
set(listed "")
foreach(line IN LISTS lines)
  string(REGEX MATCH "^([0-9]+) [A-Z]+ \"[^\"]*/([^\"]*)\"" _ "${line}")
  set(id "${CMAKE_MATCH_1}")
  set(name "${CMAKE_MATCH_2}")
  if(NOT name MATCHES "_${id}\\.")
    message(FATAL_ERROR "compare_generated: ${SCRIPT} lists ${name} as ${id}")
  endif()
  list(APPEND listed ${name})
endforeach()
list(SORT listed)
if(NOT listed STREQUAL committed)
  message(FATAL_ERROR "compare_generated: ${SCRIPT} lists ${listed}, the folder holds ${committed}")
endif()
message(STATUS "compare_generated: ${count} files identical")
