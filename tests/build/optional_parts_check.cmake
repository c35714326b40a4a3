# optional_parts_check.cmake -- a build directory gains the optional parts
# once their libraries can be seen, and keeps a part the user turned off.
#
#   cmake -DSOURCE_DIR=... -DSCRATCH_DIR=... -DGENERATOR=... -DCXX_COMPILER=...
#         -DEXPECT_KLU=ON|OFF -DEXPECT_WINDOW=ON|OFF -DHIDE=<paths> -P optional_parts_check.cmake
#
# This is the README's set-up on a fresh machine in miniature: the first
# configure runs before SuiteSparse and Qt are installed (here: their
# directories, HIDE, are ignored by every search), the next one after. Only
# configures, no build. EXPECT_* say which parts this machine can have; each
# must be off while hidden (else the hiding proves nothing) and on afterwards.
# Then an explicit OFF is kept through a later configure without it.
cmake_minimum_required(VERSION 3.25)

foreach(v SOURCE_DIR SCRATCH_DIR GENERATOR CXX_COMPILER EXPECT_KLU EXPECT_WINDOW HIDE)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "optional_parts_check: -D${v}=... is missing")
  endif()
endforeach()

# The directories to ignore: those holding klu.h, libklu and Qt6Config.cmake.
set(ignore "")
foreach(path IN LISTS HIDE)
  if(path MATCHES "NOTFOUND$" OR path STREQUAL "")
    continue()
  endif()
  if(IS_DIRECTORY "${path}")
    list(APPEND ignore "${path}")
  else()
    get_filename_component(dir "${path}" DIRECTORY)
    list(APPEND ignore "${dir}")
  endif()
endforeach()
list(REMOVE_DUPLICATES ignore)
string(REPLACE ";" "\\;" ignore_arg "${ignore}")

file(REMOVE_RECURSE "${SCRATCH_DIR}")
set(failures "")

# configure(<step name> <cmake arguments...>): configures the scratch directory.
function(configure step)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${SCRATCH_DIR}" -G "${GENERATOR}"
      -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DOSTRA_BENCH=OFF ${ARGN}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "optional_parts_check: the configure ${step} failed (status ${status}):\n${out}\n${err}")
  endif()
endfunction()

# expect(<step name> <option> <ON|OFF>): what the last configure decided for a part.
function(expect step option wanted)
  file(STRINGS "${SCRATCH_DIR}/CMakeCache.txt" line REGEX "^${option}_BUILT:INTERNAL=")
  string(REGEX REPLACE "^[^=]*=" "" built "${line}")
  if(NOT built STREQUAL wanted)
    set(failures "${failures}\n  ${step}: ${option}_BUILT is \"${built}\", expected ${wanted}" PARENT_SCOPE)
  endif()
endfunction()

configure("with ${ignore} hidden" "-DCMAKE_IGNORE_PATH=${ignore_arg}")
foreach(part KLU WINDOW)
  if(EXPECT_${part})
    expect("with the libraries hidden" OSTRA_${part} OFF)
  endif()
endforeach()

configure("once the libraries can be seen" "-DCMAKE_IGNORE_PATH=")
expect("once the libraries can be seen" OSTRA_KLU ${EXPECT_KLU})
expect("once the libraries can be seen" OSTRA_WINDOW ${EXPECT_WINDOW})

configure("with both parts set OFF" -DOSTRA_KLU=OFF -DOSTRA_WINDOW=OFF)
configure("after they were set OFF")
expect("a configure after -DOSTRA_KLU=OFF" OSTRA_KLU OFF)
expect("a configure after -DOSTRA_WINDOW=OFF" OSTRA_WINDOW OFF)

if(failures)
  message(FATAL_ERROR "optional_parts_check: FAILED${failures}")
endif()
file(REMOVE_RECURSE "${SCRATCH_DIR}")
message(STATUS "optional_parts_check: passed (KLU expected ${EXPECT_KLU}, window expected ${EXPECT_WINDOW})")
