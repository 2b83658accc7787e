cmake_minimum_required(VERSION 3.25)
# Runs the folder check on small trees written here: core at the bottom, net and system beside each
# other above it, state above both, and a ui folder above state. Each case is one tree and the faults the check must find in it.
include("${SOURCE_DIR}/cmake/FolderIncludes.cmake")

set(NUDGERLY_USES_core "")
set(NUDGERLY_USES_platform/net core)
set(NUDGERLY_USES_platform/system core)
set(NUDGERLY_USES_state platform/net platform/system)
set(NUDGERLY_USES_ui/kit state)
set(dirs core platform/net platform/system state ui/kit)

# write(<case> <path> <lines>...) writes one file of a case's tree under WORK_DIR/<case>;
# expect_faults(<case> <regexes>...) wants one fault per regex from that tree, and no others.
function(write case path)
  list(JOIN ARGN "\n" text)
  file(WRITE "${WORK_DIR}/${case}/${path}" "${text}\n")
endfunction()

function(expect_faults case)
  nudgerly_check_folder_includes(faults ROOT "${WORK_DIR}/${case}" DIRS ${dirs} NO_QT core platform/net platform/system state)
  list(LENGTH faults found)
  list(LENGTH ARGN wanted)
  set(ok TRUE)
  if(NOT found EQUAL wanted)
    set(ok FALSE)
  else()
    foreach(pattern IN LISTS ARGN)
      set(matched FALSE)
      foreach(fault IN LISTS faults)
        if(fault MATCHES "${pattern}")
          set(matched TRUE)
        endif()
      endforeach()
      if(NOT matched)
        set(ok FALSE)
      endif()
    endforeach()
  endif()
  if(NOT ok)
    list(JOIN faults "\n    " shown)
    list(JOIN ARGN "\n    " asked)
    message(SEND_ERROR "${case}: wanted\n    ${asked}\n  found\n    ${shown}")
  endif()
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")

# A clean tree: every include form that stays within what a folder may use.
write(clean core/Text.h "#pragma once")
write(clean core/Text.cpp "#include \"Text.h\"" "#include <vector>" "#include <nlohmann/json.hpp>")
write(clean platform/net/Http.h "#pragma once" "#include \"core/Text.h\"")
write(clean platform/net/Http.cpp "#include \"Http.h\"" "#include <core/Text.h>" "#include \"../../core/Text.h\"")
write(clean state/AppState.h "#pragma once" "#  include   \"platform/net/Http.h\"" "#include \"../core/Text.h\"")
write(clean state/AppState.cpp "#include \"AppState.h\"" "#include \"BuildSettings.h\"")
write(clean ui/kit/Button.cpp "#include <QWidget>" "#include \"state/AppState.h\"" "#include <core/Text.h>")
expect_faults(clean)

# A lower folder reaching up, in each form: quoted from the root, bracketed, climbing relative to the
# includer, spaced out, and to a header that does not exist yet.
write(upward core/Text.h "#pragma once")
write(upward state/AppState.h "#pragma once")
write(upward core/Quoted.cpp "#include \"state/AppState.h\"")
write(upward core/Bracketed.cpp "#include <state/AppState.h>")
write(upward platform/net/Climbing.cpp "#include \"../../state/AppState.h\"")
write(upward platform/net/Spaced.cpp "  #   include<state/AppState.h>  // the state")
write(upward core/Missing.cpp "#include \"../state/NotYetWritten.h\"")
expect_faults(upward
  "^core/ may not use state/, but core/Quoted.cpp includes \"state/AppState.h\"$"
  "^core/ may not use state/, but core/Bracketed.cpp includes <state/AppState.h>$"
  "^platform/net/ may not use state/, but platform/net/Climbing.cpp includes \"../../state/AppState.h\"$"
  "^platform/net/ may not use state/, but platform/net/Spaced.cpp includes <state/AppState.h>$"
  "^core/ may not use state/, but core/Missing.cpp includes \"../state/NotYetWritten.h\"$")

# A quoted name is found beside the includer before the root: "core/Text.h" from platform/net is
# net's own (undeclared) subfolder when it has one, and a climb is read from the includer's folder.
write(beside core/Text.h "#pragma once")
write(beside platform/net/core/Text.h "#pragma once")
write(beside platform/system/Process.h "#pragma once")
write(beside platform/net/Http.cpp "#include \"core/Text.h\"" "#include \"../system/Process.h\"")
write(beside ui/kit/Button.cpp "#include \"../../platform/system/Process.h\"")
expect_faults(beside
  "^platform/net/core/Text.h lies in platform/net/core/, which is no declared folder$"
  "^platform/net/Http.cpp includes \"core/Text.h\", which lies in no declared folder$"
  "^platform/net/ may not use platform/system/, but platform/net/Http.cpp includes \"../system/Process.h\"$")

# Ways out of the folders: an undeclared folder, a climb out of the tree, a name the check cannot
# follow, and Qt below the window.
write(outside core/Text.h "#pragma once")
write(outside state/sub/Part.h "#pragma once")
write(outside state/AppState.cpp "#include \"sub/Part.h\"")
write(outside core/Out.cpp "#include \"../../tests/Fake.h\"")
write(outside core/Macro.cpp "#define HEADER <state/AppState.h>" "#include HEADER")
write(outside platform/net/Qt.cpp "#include <QString>")
expect_faults(outside
  "^state/sub/Part.h lies in state/sub/, which is no declared folder$"
  "^state/AppState.cpp includes \"sub/Part.h\", which lies in no declared folder$"
  "^core/Out.cpp includes \"../../tests/Fake.h\", which lies outside the source folders$"
  "^core/Macro.cpp includes through a name the check cannot read: #include HEADER$"
  "^platform/net/ must not use Qt, but platform/net/Qt.cpp includes <QString>$")
