# Read by cpack: the package's Depends, worked out by dpkg-shlibdeps from the shared libraries that the
# program and the model runtime link, all but those of the runtime's optional backends, which its
# loader skips where their libraries are missing. The runtime's own libraries are found in its folder.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(linked ${CPACK_NUDGERLY_LINKED_FILES})
if(CPACK_NUDGERLY_RUNTIME_DIRECTORY)
  file(GLOB runtime_files LIST_DIRECTORIES false "${CPACK_NUDGERLY_RUNTIME_DIRECTORY}/*")
  foreach(file IN LISTS runtime_files)
    get_filename_component(name "${file}" NAME)
    if(NOT name IN_LIST CPACK_NUDGERLY_OPTIONAL_FILES)
      list(APPEND linked "${file}")
    endif()
  endforeach()
endif()

# dpkg-shlibdeps works in a source package's folder: an empty debian/control is all it asks.
set(work "${CPACK_TOPLEVEL_DIRECTORY}/shlibdeps")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}/debian")
file(TOUCH "${work}/debian/control")
set(arguments -O)
if(CPACK_NUDGERLY_RUNTIME_DIRECTORY)
  list(APPEND arguments "-l${CPACK_NUDGERLY_RUNTIME_DIRECTORY}")
endif()
execute_process(COMMAND dpkg-shlibdeps ${arguments} ${linked}
                WORKING_DIRECTORY "${work}" OUTPUT_VARIABLE substitution COMMAND_ERROR_IS_FATAL ANY)
string(REGEX REPLACE "^shlibs:Depends=([^\n]*).*$" "\\1" shared "${substitution}")
string(STRIP "${shared}" shared)
if(shared STREQUAL "")
  message(FATAL_ERROR "dpkg-shlibdeps named no dependency: ${substitution}")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${shared}, ${CPACK_NUDGERLY_DEPENDS}")
