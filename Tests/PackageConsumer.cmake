# Installs the build into a scratch prefix, then configures, builds and runs the consumer
# example against it, as a project outside this repository would; then installs it into a second
# prefix and builds the consumer there from pkg-config's flags alone.
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DCXX_COMPILER=... -P PackageConsumer.cmake
file(REMOVE_RECURSE "${WORK_DIR}")

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}")
  endif()
endfunction()

run("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${WORK_DIR}/prefix")
run("${CMAKE_COMMAND}" -S "${SOURCE_DIR}/examples/consumer" -B "${WORK_DIR}/build"
    -G Ninja "-DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix" -DCMAKE_BUILD_TYPE=Release)
run("${CMAKE_COMMAND}" --build "${WORK_DIR}/build")
run("${WORK_DIR}/build/consumer"
    "${WORK_DIR}/prefix/share/PlainTextFileParser/examples/credentials.json")

# The check that no copy of a password outlives a call, against the installed package too.
run("${CMAKE_COMMAND}" -S "${SOURCE_DIR}/Tests/NoTrace" -B "${WORK_DIR}/no-trace"
    -G Ninja "-DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix" -DCMAKE_BUILD_TYPE=Release)
run("${CMAKE_COMMAND}" --build "${WORK_DIR}/no-trace")
run("${WORK_DIR}/no-trace/no_trace" "${WORK_DIR}")

# pkg-config finds the prefix from where its file lies: the same build installed to a second
# prefix names that prefix, and a consumer built from its flags alone runs.
find_program(PKG_CONFIG_PROGRAM pkg-config REQUIRED)
set(second "${WORK_DIR}/second prefix")
run("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${second}")
file(GLOB_RECURSE pc_files "${second}/*/plaintextfileparser.pc")
list(LENGTH pc_files pc_count)
if(NOT pc_count EQUAL 1)
  message(FATAL_ERROR "expected one plaintextfileparser.pc under ${second}, found: ${pc_files}")
endif()
get_filename_component(pc_dir "${pc_files}" DIRECTORY)
set(ENV{PKG_CONFIG_PATH} "${pc_dir}")
execute_process(COMMAND "${PKG_CONFIG_PROGRAM}" --cflags --libs plaintextfileparser
  OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "pkg-config failed (${status})")
endif()
separate_arguments(flag_list UNIX_COMMAND "${flags}")
set(include_dir "")
set(lib_dir "")
foreach(flag IN LISTS flag_list)
  if(flag MATCHES "^-I(.*)$")
    get_filename_component(include_dir "${CMAKE_MATCH_1}" REALPATH)
  elseif(flag MATCHES "^-L(.*)$")
    get_filename_component(lib_dir "${CMAKE_MATCH_1}" REALPATH)
  endif()
endforeach()
get_filename_component(second_real "${second}" REALPATH)
if(NOT include_dir STREQUAL "${second_real}/include" OR NOT lib_dir MATCHES "^${second_real}/lib")
  message(FATAL_ERROR "pkg-config names another prefix than ${second}: ${flags}")
endif()
run("${CXX_COMPILER}" -std=c++17 "${SOURCE_DIR}/examples/consumer/main.cpp"
    -o "${WORK_DIR}/pkg-config-consumer" ${flag_list} "-Wl,-rpath,${lib_dir}")
run("${WORK_DIR}/pkg-config-consumer"
    "${second}/share/PlainTextFileParser/examples/credentials.json")
