# Shared helpers for the module, test and benchmark folders.

# qv_module_enabled(<folder> <out-var>): whether QV_MODULES lets <folder> be built.
function(qv_module_enabled module out)
  if(QV_MODULES STREQUAL "")
    set(${out} TRUE PARENT_SCOPE)
  elseif(module IN_LIST QV_MODULES)
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

# qv_target_warnings(<target>...): our compiler warnings on targets of our own (-Wall -Wextra, and
# -Werror with QV_WERROR); code we only call is compiled with its own flags. The top-level list checks
# at configure time that every program and library of ours has them.
function(qv_target_warnings)
  foreach(target IN LISTS ARGN)
    target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${QV_WERROR}>:-Werror>)
    set_property(TARGET ${target} PROPERTY QV_WARNINGS ON)
  endforeach()
endfunction()

# qv_check_target_warnings(): stops the configure step, naming them, when programs or libraries under
# the source folder were made without qv_target_warnings.
function(qv_check_target_warnings)
  set(missing "")
  set(folders ${CMAKE_SOURCE_DIR})
  while(folders)
    list(POP_FRONT folders folder)
    get_property(children DIRECTORY ${folder} PROPERTY SUBDIRECTORIES)
    list(APPEND folders ${children})
    get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
      get_target_property(type ${target} TYPE)
      if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
        get_target_property(has_warnings ${target} QV_WARNINGS)
        if(NOT has_warnings)
          list(APPEND missing ${target})
        endif()
      endif()
    endforeach()
  endwhile()
  if(missing)
    message(FATAL_ERROR "These targets are built without our warnings (call qv_target_warnings): ${missing}")
  endif()
endfunction()

# qv_add_test(<name> [THREADS] [LABELS ...] [MUTATION_CASES <gtest filter>] SOURCES ... LIBS ...): a
# GoogleTest program whose cases ctest runs one by one. Every test program links qv_test_main, which
# gives each test case a fresh temporary HOME.
# THREADS marks a program whose code runs on worker threads: its cases carry the ctest label "threads",
# and the target qv_thread_tests builds all such programs, for the ThreadSanitizer build (QV_TSAN).
# LABELS gives every case of the program further ctest labels ("mutation" for a program of mutation
# runs, "e2e" for the end-to-end one); MUTATION_CASES names the cases (a --gtest_filter pattern) that
# are mutation runs, which alone get the label "mutation". scripts/test --quick leaves both labels out.
function(qv_add_test name)
  cmake_parse_arguments(ARG "THREADS" "MUTATION_CASES" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  qv_target_warnings(${name})
  target_link_libraries(${name} PRIVATE qv_test_main ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(TARGET qv_resources)
    add_dependencies(${name} qv_resources)  # the tests read the bundle's resources
  endif()
  set(labels ${ARG_LABELS})
  if(ARG_THREADS)
    list(APPEND labels threads)
  endif()
  set(discovery WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300 ENVIRONMENT "QV_SOURCE_DIR=${CMAKE_SOURCE_DIR};QV_BINARY_DIR=${CMAKE_BINARY_DIR}")
  # The labels are set by a script ctest reads after the discovered tests: a list given through
  # gtest_discover_tests' PROPERTIES would be split into separate arguments.
  set(label_script ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
  set(label_lines "")
  if(ARG_MUTATION_CASES)
    gtest_discover_tests(${name} TEST_FILTER "-${ARG_MUTATION_CASES}" TEST_LIST ${name}_TESTS ${discovery})
    gtest_discover_tests(${name} TEST_FILTER "${ARG_MUTATION_CASES}" TEST_LIST ${name}_MUTATION_TESTS ${discovery})
    set(mutation_labels ${labels} mutation)
    string(APPEND label_lines "if(${name}_MUTATION_TESTS)\n"
      "  set_tests_properties(\${${name}_MUTATION_TESTS} PROPERTIES LABELS \"${mutation_labels}\")\nendif()\n")
  else()
    gtest_discover_tests(${name} TEST_LIST ${name}_TESTS ${discovery})
  endif()
  if(labels)
    string(APPEND label_lines "if(${name}_TESTS)\n"
      "  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"${labels}\")\nendif()\n")
  endif()
  if(label_lines)
    file(WRITE ${label_script} "${label_lines}")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${label_script})
  endif()
  if(ARG_THREADS)
    add_dependencies(qv_thread_tests ${name})
  endif()
endfunction()

# qv_add_benchmark(<name> SOURCES ... LIBS ...): a Google Benchmark program in build/bench/.
# Every benchmark links qv_bench_common, which supplies BM_MemoryCopy and main().
function(qv_add_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  qv_target_warnings(${name})
  target_link_libraries(${name} PRIVATE qv_bench_common ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  if(TARGET qv_resources)
    add_dependencies(${name} qv_resources)
  endif()
endfunction()

# qv_subfolders(<out-var>): the subfolders of the current source folder that hold a CMakeLists.txt.
function(qv_subfolders out)
  file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  set(result "")
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      list(APPEND result ${child})
    endif()
  endforeach()
  list(SORT result)
  set(${out} ${result} PARENT_SCOPE)
endfunction()
