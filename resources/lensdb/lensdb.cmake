# The bundle's resource lens database: qv-lensdb turns the text source PTLens.txt into
# ${QV_RESOURCE_OUTPUT_DIR}/PTLens.dat whenever the source or the tool changes, and qv_resources
# depends on that step. Included by apps/qv-lensdb once the tool's target exists.
include(${PROJECT_SOURCE_DIR}/resources/Resources.cmake)

set(QV_LENSDB_SOURCE ${CMAKE_CURRENT_LIST_DIR}/PTLens.txt)
set(QV_LENSDB_OUTPUT ${QV_RESOURCE_OUTPUT_DIR}/PTLens.dat)
add_custom_command(
  OUTPUT ${QV_LENSDB_OUTPUT}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QV_RESOURCE_OUTPUT_DIR}
  COMMAND qv-lensdb build ${QV_LENSDB_SOURCE} ${QV_LENSDB_OUTPUT}
  DEPENDS qv-lensdb ${QV_LENSDB_SOURCE}
  COMMENT "Building the resource lens database PTLens.dat"
  VERBATIM)
add_custom_target(qv_lensdb_resource ALL DEPENDS ${QV_LENSDB_OUTPUT})
qv_add_resource_producer(qv_lensdb_resource)
