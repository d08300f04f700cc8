# Fails when a source file includes a header of a layer above its own.
# Run as: cmake -DSOURCE_DIR=<top> -DSTAMP=<file> -P check_layers.cmake
#
# From the bottom up: base (vocabulary), runtime (the engine's interfaces),
# seam (the platform interface), rules (pure decisions), run (the running
# program), platform (the two platforms, each with its main).
cmake_minimum_required(VERSION 3.25)

set(allowed_base base)
set(allowed_runtime base runtime)
set(allowed_seam base runtime seam)
set(allowed_rules base rules)
set(allowed_run base runtime seam rules run)
set(allowed_platform base runtime seam rules run platform)

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}/src ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.cpp)
set(faults)
foreach(source IN LISTS sources)
  string(REGEX MATCH "^[^/]+" layer ${source})
  if(NOT DEFINED allowed_${layer})
    list(APPEND faults "src/${source}: src/${layer} is no layer")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/src/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([^\"]+)\".*" "\\1" header "${line}")
    string(REGEX MATCH "^[^/]+" target "${header}")
    if(NOT target IN_LIST allowed_${layer})
      list(APPEND faults "src/${source}: includes \"${header}\", which src/${layer} may not depend on")
    endif()
  endforeach()
endforeach()
if(faults)
  list(JOIN faults "\n" text)
  message(FATAL_ERROR "Includes that point up a layer:\n${text}")
endif()
file(TOUCH ${STAMP})
