# Read by cpack: the package's Depends, worked out by dpkg-shlibdeps from the shared libraries that the
# program and the model runtime link, all but those of the runtime's optional backends, which its
# loader skips where their libraries are missing. The runtime's own libraries are found in its folder.
cmake_policy(SET CMP0057 NEW)  # IN_LIST; cpack reads this file without the project's policies
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

# dpkg-shlibdeps works in a source package's folder, an empty debian/control all it asks, and takes
# libraries in the package's own tree, debian/<package>/, as the package's own: the runtime is seen
# there, so that the libraries beside llama-server resolve through its $ORIGIN and need no entry.
set(work "${CPACK_TOPLEVEL_DIRECTORY}/shlibdeps")
set(tree "${work}/debian/nudgerly")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${tree}/DEBIAN" "${tree}/usr/lib/nudgerly")
file(TOUCH "${work}/debian/control")

set(linked ${CPACK_NUDGERLY_LINKED_FILES})
if(CPACK_NUDGERLY_RUNTIME_DIRECTORY)
  set(runtime "${tree}/usr/lib/nudgerly/ModelRuntime")
  file(CREATE_LINK "${CPACK_NUDGERLY_RUNTIME_DIRECTORY}" "${runtime}" SYMBOLIC)
  file(GLOB runtime_files LIST_DIRECTORIES false RELATIVE "${CPACK_NUDGERLY_RUNTIME_DIRECTORY}"
       "${CPACK_NUDGERLY_RUNTIME_DIRECTORY}/*")
  foreach(name IN LISTS runtime_files)
    if(NOT name IN_LIST CPACK_NUDGERLY_OPTIONAL_FILES)
      list(APPEND linked "${runtime}/${name}")
    endif()
  endforeach()
endif()
execute_process(COMMAND dpkg-shlibdeps -O ${linked}
                WORKING_DIRECTORY "${work}" OUTPUT_VARIABLE substitution COMMAND_ERROR_IS_FATAL ANY)
set(shared "")
if(substitution MATCHES "(^|\n)shlibs:Depends=([^\n]*)")
  string(STRIP "${CMAKE_MATCH_2}" shared)
endif()
if(shared STREQUAL "")
  message(FATAL_ERROR "dpkg-shlibdeps named no dependency: ${substitution}")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${shared}, ${CPACK_NUDGERLY_DEPENDS}")
