# Fails when a front end (the tools, the Python module) reaches into the
# library's internals, or when a public header does: the front ends must build
# against the installed package, which holds the public headers only.
#   cmake -DROOT=<source dir> -P api_boundary.cmake
file(GLOB_RECURSE front_ends
  ${ROOT}/src-tools/*.cpp ${ROOT}/src-tools/*.h ${ROOT}/python/src/*.cpp ${ROOT}/python/src/*.h)
file(GLOB public_headers ${ROOT}/src-lib/*.h)
set(violations "")
foreach(file IN LISTS front_ends public_headers)
  file(STRINGS ${file} lines)
  set(number 0)
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    if(line MATCHES "#[ \t]*include[ \t]*[\"<](mcjobs/)?detail/")
      string(APPEND violations "${file}:${number}: includes a private header: ${line}\n")
    elseif(NOT file MATCHES "/src-lib/" AND line MATCHES "mcjobs_detail")
      string(APPEND violations "${file}:${number}: names the internal namespace: ${line}\n")
    endif()
  endforeach()
endforeach()
if(violations)
  message(FATAL_ERROR "front ends and public headers must use the public API only:\n${violations}")
endif()
