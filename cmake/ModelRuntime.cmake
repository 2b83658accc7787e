# The model runtime: llama.cpp's llama-server from the pinned release that scripts/fetch-llama-cpp.sh
# puts into the build folder, Release, unable to speak HTTPS or download a web UI. Its compute backends
# are libraries it loads at start: the CPU backend in every x86-64 variant ggml has (the best one this
# CPU runs is chosen then) and the Vulkan backend, which finds no device and stays unused on a computer
# without a Vulkan driver. Program, libraries and backends land, stripped, where the program looks for
# them beside a build, <build>/lib/nudgerly/ModelRuntime/, and are installed to the same place.
#
# It is configured and built once per build folder (the Vulkan shaders with it), with
# NUDGERLY_MODEL_RUNTIME_JOBS jobs, or else CMAKE_BUILD_PARALLEL_LEVEL's of the build's environment,
# or else one per core.
include(ExternalProject)

set(NUDGERLY_MODEL_RUNTIME_JOBS "" CACHE STRING
    "Compile jobs for building the model runtime; empty takes CMAKE_BUILD_PARALLEL_LEVEL, else one per core")

set(NUDGERLY_MODEL_RUNTIME_DIRECTORY "${CMAKE_BINARY_DIR}/lib/nudgerly/ModelRuntime")
set(NUDGERLY_MODEL_RUNTIME_PROGRAM "${NUDGERLY_MODEL_RUNTIME_DIRECTORY}/llama-server")
set(NUDGERLY_LLAMA_CPP_SOURCE "${CMAKE_BINARY_DIR}/model-runtime/llama.cpp")

# The release and its commit, from the one place that pins them, so that the server names its own source.
file(STRINGS "${PROJECT_SOURCE_DIR}/scripts/fetch-llama-cpp.sh" nudgerly_llama_pins REGEX "^(release|bundle_commit)=")
string(REGEX MATCH "release=v([0-9.]+)" _ "${nudgerly_llama_pins}")
set(NUDGERLY_LLAMA_CPP_VERSION "${CMAKE_MATCH_1}")
string(REGEX MATCH "bundle_commit=([0-9a-f]+)" _ "${nudgerly_llama_pins}")
if(NUDGERLY_LLAMA_CPP_VERSION STREQUAL "" OR CMAKE_MATCH_1 STREQUAL "")
  message(FATAL_ERROR "No pinned llama.cpp release and commit in scripts/fetch-llama-cpp.sh")
endif()
string(SUBSTRING "${CMAKE_MATCH_1}" 0 10 NUDGERLY_LLAMA_CPP_COMMIT)

set(nudgerly_runtime_args
  -DCMAKE_BUILD_TYPE=Release
  "-DCMAKE_C_COMPILER=${CMAKE_C_COMPILER}"
  "-DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}"
  # Loadable backends need shared libraries; they are found beside the program that loads them.
  -DBUILD_SHARED_LIBS=ON
  -DCMAKE_BUILD_WITH_INSTALL_RPATH=ON
  "-DCMAKE_INSTALL_RPATH=$ORIGIN"
  -DGGML_BACKEND_DL=ON
  -DGGML_CPU_ALL_VARIANTS=ON
  -DGGML_NATIVE=OFF
  -DGGML_VULKAN=ON
  -DLLAMA_OPENSSL=OFF
  -DLLAMA_BUILD_UI=OFF
  -DLLAMA_USE_PREBUILT_UI=OFF
  -DLLAMA_BUILD_TESTS=OFF
  -DLLAMA_BUILD_EXAMPLES=OFF
  -DLLAMA_BUILD_APP=OFF
  # The source tree has no git history of its own; left alone, its build would name this
  # program's commit, whose repository holds the build folder.
  -DLLAMA_BUILD_IS_DEV=OFF
  -DLLAMA_BUILD_NUMBER=0
  "-DLLAMA_BUILD_COMMIT=${NUDGERLY_LLAMA_CPP_COMMIT}")
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
  PATCH_COMMAND "${CMAKE_COMMAND}" "-DSOURCE_DIR=<SOURCE_DIR>" -P "${CMAKE_CURRENT_LIST_DIR}/PatchModelRuntime.cmake"
  CMAKE_ARGS ${nudgerly_runtime_args}
  BUILD_COMMAND "${CMAKE_COMMAND}" "-DBINARY_DIR=<BINARY_DIR>" "-DJOBS=${NUDGERLY_MODEL_RUNTIME_JOBS}"
                -P "${CMAKE_CURRENT_LIST_DIR}/BuildModelRuntime.cmake"
  INSTALL_COMMAND "${CMAKE_COMMAND}" "-DBINARY_DIR=<BINARY_DIR>" "-DDESTINATION=${NUDGERLY_MODEL_RUNTIME_DIRECTORY}"
                  "-DSTRIP=${CMAKE_STRIP}" -P "${CMAKE_CURRENT_LIST_DIR}/InstallModelRuntime.cmake"
  BUILD_BYPRODUCTS "${NUDGERLY_MODEL_RUNTIME_PROGRAM}"
  USES_TERMINAL_DOWNLOAD ON
  USES_TERMINAL_BUILD ON)

# The whole folder, as the install step of the runtime laid it out (libraries under their sonames).
install(DIRECTORY "${NUDGERLY_MODEL_RUNTIME_DIRECTORY}/" DESTINATION lib/nudgerly/ModelRuntime
        USE_SOURCE_PERMISSIONS)
