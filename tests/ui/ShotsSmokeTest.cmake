# Runs nudgerly-shots on the gallery and checks that it wrote a picture. The tool itself refuses to
# write a picture of one colour.
file(REMOVE_RECURSE "${OUT}")
execute_process(COMMAND "${SHOTS}" "${OUT}" gallery RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "nudgerly-shots failed: ${result}")
endif()
if(NOT EXISTS "${OUT}/gallery.png")
  message(FATAL_ERROR "nudgerly-shots wrote no gallery.png")
endif()
file(SIZE "${OUT}/gallery.png" size)
if(size LESS 10000)
  message(FATAL_ERROR "gallery.png is only ${size} bytes")
endif()
