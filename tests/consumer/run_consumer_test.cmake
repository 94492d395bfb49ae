# cmake -P script: install the built project into a scratch prefix, then build
# and run the consumer with find_package and with pkg-config; then import the
# installed Python module, when there is one, from the prefix.
function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGV}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

function(expect_job_count program)
  run(${program} ${EXAMPLE})
  if(NOT last_output STREQUAL "14 jobs\n")
    message(FATAL_ERROR "${program} printed '${last_output}', expected '14 jobs'")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} --install ${MCJOBS_BUILD_DIR} --prefix ${prefix})

foreach(header job.h util.h)
  if(NOT EXISTS ${prefix}/include/mcjobs/${header})
    message(FATAL_ERROR "missing installed header include/mcjobs/${header}")
  endif()
endforeach()

# 1. find_package(mcjobs CONFIG)
run(${CMAKE_COMMAND} -S ${CONSUMER_SOURCE_DIR} -B ${WORK_DIR}/cmake-build
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_BUILD_TYPE=Release
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${CXX_FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-build)
expect_job_count(${WORK_DIR}/cmake-build/count_jobs)

# 2. pkg-config --cflags --libs mcjobs
find_program(PKG_CONFIG NAMES pkg-config pkgconf REQUIRED)
file(GLOB_RECURSE pc_files ${prefix}/mcjobs.pc)
list(GET pc_files 0 pc_file)
get_filename_component(pc_dir ${pc_file} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run(${PKG_CONFIG} --cflags --libs mcjobs)
string(STRIP "${last_output}" flags)
# The library may have been built with extra flags (sanitizers): build alike.
separate_arguments(flags UNIX_COMMAND "${CXX_FLAGS} ${flags}")
run(${CXX_COMPILER} ${CONSUMER_SOURCE_DIR}/main.cpp ${flags} -o ${WORK_DIR}/count_jobs_pc)
expect_job_count(${WORK_DIR}/count_jobs_pc)

# 3. import mcjobs from the prefix's site-packages (unless told to install elsewhere)
if(PYTHON AND NOT IS_ABSOLUTE "${PYTHON_DIR}")
  set(ENV{PYTHONPATH} ${prefix}/${PYTHON_DIR})
  # No semicolon: run() takes its arguments as a list.
  run(${PYTHON} -c "import sys, mcjobs\nprint(len(mcjobs.read(sys.argv[1])), 'jobs')" ${EXAMPLE})
  if(NOT last_output STREQUAL "14 jobs\n")
    message(FATAL_ERROR "the installed Python module printed '${last_output}', expected '14 jobs'")
  endif()
endif()
