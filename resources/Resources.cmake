# The bundle's resource folder in the build tree, and how modules that generate resources join the
# copy step. A module that writes a generated file into QV_RESOURCE_OUTPUT_DIR includes this file
# and registers the target that writes it:
#
#   include(${PROJECT_SOURCE_DIR}/resources/Resources.cmake)
#   add_custom_target(lens_database DEPENDS ${QV_RESOURCE_OUTPUT_DIR}/PTLens.dat)
#   qv_add_resource_producer(lens_database)
#
# qv_resources (resources/CMakeLists.txt) then depends on it, so whatever depends on qv_resources
# finds the generated file in place.
include_guard(DIRECTORY)  # each including folder needs QV_RESOURCE_OUTPUT_DIR in its own scope

set(QV_RESOURCE_OUTPUT_DIR "${CMAKE_BINARY_DIR}/Resources")

function(qv_add_resource_producer target)
  set_property(GLOBAL APPEND PROPERTY QV_RESOURCE_PRODUCERS ${target})
endfunction()
