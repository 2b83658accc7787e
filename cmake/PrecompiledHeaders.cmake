# Precompiled headers: the heaviest outside headers (the standard library's, nlohmann/json, GoogleTest,
# Qt Widgets) are parsed once per kind of target instead of once per source file, which takes about a
# third off a build from scratch. There are three kinds: the tests (GoogleTest), the window's targets
# (Qt) and everything else, each for libraries and for programs, which Qt builds position-independent in
# different ways. The first target of a kind compiles the header; the others of that kind reuse it,
# which needs the same code-generation flags and predefined macros: CMake's -Winvalid-pch turns a
# header that does not fit into an error instead of a slow build.
#
# Only outside headers go in, so that changing one of ours rebuilds no more than before. A source
# missing an include of one of these still compiles here; the fuzz preset builds without them and
# catches that for the program's own sources.

set(NUDGERLY_PCH_core
  <algorithm> <chrono> <filesystem> <functional> <map> <memory> <optional> <string> <string_view> <vector>
  <nlohmann/json.hpp>)
set(NUDGERLY_PCH_test ${NUDGERLY_PCH_core} <gtest/gtest.h>)
set(NUDGERLY_PCH_ui ${NUDGERLY_PCH_core}
  <QApplication> <QComboBox> <QHBoxLayout> <QImage> <QLabel> <QListView> <QObject> <QPainter> <QPointer>
  <QPushButton> <QScrollArea> <QString> <QVBoxLayout> <QWidget>)

# Whether `target` links `wanted`, directly or through the project's own libraries.
function(nudgerly_links target wanted out)
  set(seen "")
  set(pending "${target}")
  while(pending)
    list(POP_FRONT pending next)
    if(next STREQUAL wanted)
      set(${out} TRUE PARENT_SCOPE)
      return()
    endif()
    if(next IN_LIST seen OR NOT TARGET "${next}")
      continue()
    endif()
    list(APPEND seen "${next}")
    get_target_property(imported "${next}" IMPORTED)
    if(imported)
      continue()
    endif()
    get_target_property(type "${next}" TYPE)
    set(links "")
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(links "${next}" LINK_LIBRARIES)
    endif()
    get_target_property(interface_links "${next}" INTERFACE_LINK_LIBRARIES)
    foreach(link IN LISTS links interface_links)
      if(link AND NOT link MATCHES "NOTFOUND$")
        string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" link "${link}")
        list(APPEND pending "${link}")
      endif()
    endforeach()
  endwhile()
  set(${out} FALSE PARENT_SCOPE)
endfunction()

function(nudgerly_targets_below dir out)
  get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    nudgerly_targets_below("${sub}" sub_targets)
    list(APPEND targets ${sub_targets})
  endforeach()
  set(${out} "${targets}" PARENT_SCOPE)
endfunction()

# Gives every C++ library and program of the project the precompiled header of its kind.
function(nudgerly_precompile_headers)
  nudgerly_targets_below("${PROJECT_SOURCE_DIR}" targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(STATIC_LIBRARY|EXECUTABLE)$")
      continue()
    endif()
    get_target_property(sources ${target} SOURCES)
    list(FILTER sources INCLUDE REGEX "\\.cpp$")
    if(NOT sources)
      continue()
    endif()
    nudgerly_links(${target} GTest::gtest uses_gtest)
    nudgerly_links(${target} Qt6::Widgets uses_qt)
    nudgerly_links(${target} nudgerly_ui_kit uses_window)
    if(uses_gtest AND uses_qt)
      continue()  # no such target yet; neither header would fit it
    elseif(uses_qt AND NOT uses_window)
      continue()  # plain Qt without Svg (the window benchmark's anchor): the window's header would not fit
    elseif(uses_gtest)
      set(kind test)
    elseif(uses_qt)
      set(kind ui)
    else()
      set(kind core)
    endif()
    if(kind STREQUAL "test" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      # With <string> from a precompiled header, GCC 12 inlines string concatenation differently and
      # then reports copies out of bounds and overflows that are not (std::string(n, 'c') + "..." in
      # several test files). Real ones in the tests are AddressSanitizer's to find: the asan preset
      # runs them all.
      target_compile_options(${target} PRIVATE -Wno-array-bounds -Wno-stringop-overflow)
    endif()
    set(provider nudgerly_pch_provider_${kind}_${type})
    if(DEFINED ${provider})
      target_precompile_headers(${target} REUSE_FROM ${${provider}})
    else()
      set(headers ${NUDGERLY_PCH_${kind}})
      list(TRANSFORM headers REPLACE "^(.+)$" "$<$<COMPILE_LANGUAGE:CXX>:\\1>")
      target_precompile_headers(${target} PRIVATE ${headers})
      set(${provider} ${target})
    endif()
  endforeach()
endfunction()
