# Lays out the built runtime in DESTINATION, stripped: llama-server, the shared libraries it links
# under their sonames (the names its loader asks for; no development links), and the loadable ggml
# backends. Run with cmake -P.
set(bin "${BINARY_DIR}/bin")
file(REMOVE_RECURSE "${DESTINATION}")
file(MAKE_DIRECTORY "${DESTINATION}")

# libX.so.N is the soname link of a versioned library; a libX.so that is a file, not a development
# link, a library without a version or a backend module.
file(GLOB sonames LIST_DIRECTORIES false "${bin}/lib*.so.[0-9]" "${bin}/lib*.so.[0-9][0-9]")
file(GLOB modules LIST_DIRECTORIES false "${bin}/lib*.so")
set(files "${bin}/llama-server")
foreach(module IN LISTS modules)
  if(NOT IS_SYMLINK "${module}")
    list(APPEND files "${module}")
  endif()
endforeach()
list(APPEND files ${sonames})

foreach(file IN LISTS files)
  get_filename_component(name "${file}" NAME)
  file(REAL_PATH "${file}" real)
  file(COPY_FILE "${real}" "${DESTINATION}/${name}")
  if(name STREQUAL "llama-server")
    file(CHMOD "${DESTINATION}/${name}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
         GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    execute_process(COMMAND "${STRIP}" "${DESTINATION}/${name}" COMMAND_ERROR_IS_FATAL ANY)
  else()
    file(CHMOD "${DESTINATION}/${name}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    execute_process(COMMAND "${STRIP}" --strip-unneeded "${DESTINATION}/${name}" COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
