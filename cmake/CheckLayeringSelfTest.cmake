# Shows that CheckLayering.cmake finds each kind of broken include and passes a sound tree.
# Usage: cmake -DQV_WORK_DIR=<scratch folder> -P CheckLayeringSelfTest.cmake
cmake_minimum_required(VERSION 3.25)

set(checker "${CMAKE_CURRENT_LIST_DIR}/CheckLayering.cmake")
set(tree "${QV_WORK_DIR}/tree")
file(REMOVE_RECURSE "${tree}")

function(put path text)
  file(WRITE "${tree}/${path}" "${text}\n")
endfunction()

function(run_checker out_code out_text)
  execute_process(COMMAND "${CMAKE_COMMAND}" -DQV_ROOT=${tree} -P "${checker}"
                  RESULT_VARIABLE code OUTPUT_VARIABLE text ERROR_VARIABLE text)
  set(${out_code} ${code} PARENT_SCOPE)
  set(${out_text} "${text}" PARENT_SCOPE)
endfunction()

# A sound tree: each layer includes its own folder and the layers below.
put(platform/foundation/Value.h "#pragma once")
put(platform/appkit/Control.h "#include \"foundation/Value.h\"")
put(src/unwrap/Image.h "#include <boost/gil.hpp>\n#include \"unwrap/Sample.h\"")
put(src/engine/Chain.cpp "#include \"engine/Chain.h\"\n#include \"coreimage/CIImage.h\"\n#include \"lens/LensKeys.h\"")
put(src/shell/QVController.cpp "#include \"QVController.h\"\n#include \"engine/Chain.h\"\n#include \"unwrap/Image.h\"")
put(src/plugin/Entry.cpp "#include \"shell/QVController.h\"\n#include \"host/Host.h\"")
put(apps/quorvelci/FrontEnd.cpp "#include \"FrontEnd.h\"\n#include \"shell/QVController.h\"\n#include \"plugin/Entry.h\"")
run_checker(code text)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "a sound tree was refused:\n${text}")
endif()

# One file for each rule, and one include of each kind per file.
put(platform/appkit/Bad.h "#include \"shell/QVController.h\"")
put(platform/host/Bad.cpp "  #  include <quorvelci/FrontEnd.h>")
put(src/engine/Bad.cpp "#include \"shell/SaveJob.h\"")
put(src/output/Bad.h "#include \"plugin/Entry.h\"")
put(src/unwrap/Bad.cpp "#include \"foundation/Value.h\"")
put(src/lens/Bad.cpp "#include \"../shell/QVController.h\"")
put(src/shell/Bad.cpp "#include \"plugin/Entry.h\"")
run_checker(code text)
if(code EQUAL 0)
  message(FATAL_ERROR "a tree with broken includes passed:\n${text}")
endif()
foreach(expected IN ITEMS "platform/appkit/Bad.h" "platform/host/Bad.cpp" "src/engine/Bad.cpp" "src/output/Bad.h"
                          "src/unwrap/Bad.cpp" "src/lens/Bad.cpp" "src/shell/Bad.cpp" "by 7 include")
  string(FIND "${text}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the check did not report ${expected}:\n${text}")
  endif()
endforeach()
foreach(sound IN ITEMS "Chain.cpp" "QVController.cpp" "Entry.cpp" "FrontEnd.cpp" "Control.h")
  string(FIND "${text}" "${sound}:" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "the check reported the sound file ${sound}:\n${text}")
  endif()
endforeach()
file(REMOVE_RECURSE "${tree}")
message(STATUS "CheckLayering finds each broken include and passes a sound tree")
