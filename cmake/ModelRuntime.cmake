# The model runtime: llama.cpp's llama-server from the pinned release that scripts/fetch-llama-cpp.sh
# puts into the build folder. Only that one target, CPU only and Release, one static program that can
# neither speak HTTPS nor download a web UI. It lands where the program looks for it beside a build,
# <build>/lib/nudgerly/ModelRuntime/llama-server, and is installed to the same place under the prefix.
# It is configured and built once per build folder, with NUDGERLY_MODEL_RUNTIME_JOBS jobs.
include(ExternalProject)

cmake_host_system_information(RESULT nudgerly_cores QUERY NUMBER_OF_LOGICAL_CORES)
set(NUDGERLY_MODEL_RUNTIME_JOBS "${nudgerly_cores}" CACHE STRING "Compile jobs for building the model runtime")

set(NUDGERLY_MODEL_RUNTIME_PROGRAM "${CMAKE_BINARY_DIR}/lib/nudgerly/ModelRuntime/llama-server")
set(NUDGERLY_LLAMA_CPP_SOURCE "${CMAKE_BINARY_DIR}/model-runtime/llama.cpp")

set(nudgerly_runtime_args
  -DCMAKE_BUILD_TYPE=Release
  "-DCMAKE_C_COMPILER=${CMAKE_C_COMPILER}"
  "-DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}"
  -DBUILD_SHARED_LIBS=OFF
  # For the machines the package goes to, not the one that builds it: x86-64 with AVX2.
  -DGGML_NATIVE=OFF
  -DLLAMA_OPENSSL=OFF
  -DLLAMA_BUILD_UI=OFF
  -DLLAMA_USE_PREBUILT_UI=OFF
  -DLLAMA_BUILD_TESTS=OFF
  -DLLAMA_BUILD_EXAMPLES=OFF
  -DLLAMA_BUILD_APP=OFF)
foreach(lang C CXX)
  if(CMAKE_${lang}_COMPILER_LAUNCHER)
    list(APPEND nudgerly_runtime_args "-DCMAKE_${lang}_COMPILER_LAUNCHER=${CMAKE_${lang}_COMPILER_LAUNCHER}")
  endif()
endforeach()

ExternalProject_Add(model_runtime
  PREFIX "${CMAKE_BINARY_DIR}/model-runtime"
  SOURCE_DIR "${NUDGERLY_LLAMA_CPP_SOURCE}"
  BINARY_DIR "${CMAKE_BINARY_DIR}/model-runtime/build"
  DOWNLOAD_COMMAND "${PROJECT_SOURCE_DIR}/scripts/fetch-llama-cpp.sh" "${NUDGERLY_LLAMA_CPP_SOURCE}"
  UPDATE_COMMAND ""
  CMAKE_ARGS ${nudgerly_runtime_args}
  BUILD_COMMAND "${CMAKE_COMMAND}" --build <BINARY_DIR> --target llama-server -j "${NUDGERLY_MODEL_RUNTIME_JOBS}"
  INSTALL_COMMAND "${CMAKE_COMMAND}" -E copy <BINARY_DIR>/bin/llama-server "${NUDGERLY_MODEL_RUNTIME_PROGRAM}"
  BUILD_BYPRODUCTS "${NUDGERLY_MODEL_RUNTIME_PROGRAM}"
  USES_TERMINAL_DOWNLOAD ON
  USES_TERMINAL_BUILD ON)

install(PROGRAMS "${NUDGERLY_MODEL_RUNTIME_PROGRAM}" DESTINATION lib/nudgerly/ModelRuntime)
