# Builds llama-server (and, through ggml, every backend it loads) in BINARY_DIR with JOBS jobs, or
# CMAKE_BUILD_PARALLEL_LEVEL's of the environment, or one per core, so that the runtime's build can
# be kept beside the outer build's jobs. Run with cmake -P.
if(JOBS STREQUAL "" AND DEFINED ENV{CMAKE_BUILD_PARALLEL_LEVEL} AND NOT "$ENV{CMAKE_BUILD_PARALLEL_LEVEL}" STREQUAL "")
  set(JOBS "$ENV{CMAKE_BUILD_PARALLEL_LEVEL}")
endif()
if(JOBS STREQUAL "")
  cmake_host_system_information(RESULT JOBS QUERY NUMBER_OF_LOGICAL_CORES)
endif()
message(STATUS "Building the model runtime with ${JOBS} jobs")
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${BINARY_DIR}" --target llama-server -j "${JOBS}"
                COMMAND_ERROR_IS_FATAL ANY)
