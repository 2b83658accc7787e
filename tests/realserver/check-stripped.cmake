# Fails unless every file in DIRECTORY is an ELF file without a symbol table (.symtab), as strip leaves
# it; the dynamic symbols the loader needs are kept apart. Run with cmake -P.
file(GLOB files LIST_DIRECTORIES false "${DIRECTORY}/*")
if(NOT files)
  message(FATAL_ERROR "Nothing in ${DIRECTORY}")
endif()
foreach(file IN LISTS files)
  execute_process(COMMAND "${READELF}" --section-headers --wide "${file}" OUTPUT_VARIABLE sections
                  COMMAND_ERROR_IS_FATAL ANY)
  if(sections MATCHES "\\.symtab")
    message(FATAL_ERROR "${file} is not stripped")
  endif()
endforeach()
message(STATUS "${DIRECTORY}: every file stripped")
