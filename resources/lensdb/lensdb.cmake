# The bundle's resource lens database, made from the lens calibration data that Debian's package
# liblensfun-data-v1 installs (XML files; the data's licence is CC BY-SA 3.0):
#   qv-lensdb import-lensdata <data folder> PTLens.txt   converts the data and prints its counts,
#   qv-lensdb build PTLens.txt PTLens.dat                 makes the binary database,
# both whenever the data or the tool changes; the converted files live in the build tree only.
# Beside the database the bundle carries "PTLens-Attribution.txt": the statement of what was
# changed (Attribution.txt here) followed by the data's own copyright and licence file.
# Included by apps/qv-lensdb once the tool's target exists.
include(${PROJECT_SOURCE_DIR}/resources/Resources.cmake)

set(QV_LENSDATA_DIR "/usr/share/lensfun/version_1" CACHE PATH "Folder of the lens calibration data (XML)")
set(QV_LENSDATA_COPYRIGHT "/usr/share/doc/liblensfun-data-v1/copyright" CACHE FILEPATH
    "Copyright and licence file of the lens calibration data")
file(GLOB QV_LENSDATA_FILES CONFIGURE_DEPENDS ${QV_LENSDATA_DIR}/*.xml)
if(NOT QV_LENSDATA_FILES OR NOT EXISTS ${QV_LENSDATA_COPYRIGHT})
  message(FATAL_ERROR
    "The lens calibration data is missing: no XML files in ${QV_LENSDATA_DIR}, or no ${QV_LENSDATA_COPYRIGHT}. "
    "The shipped lens database is built from it: install the Debian package liblensfun-data-v1 "
    "(scripts/setup does), or point QV_LENSDATA_DIR and QV_LENSDATA_COPYRIGHT at a copy.")
endif()

set(QV_LENSDB_TEXT ${CMAKE_BINARY_DIR}/lensdb/PTLens.txt)
set(QV_LENSDB_OUTPUT ${QV_RESOURCE_OUTPUT_DIR}/PTLens.dat)
set(QV_LENSDB_ATTRIBUTION ${QV_RESOURCE_OUTPUT_DIR}/PTLens-Attribution.txt)
add_custom_command(
  OUTPUT ${QV_LENSDB_TEXT}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/lensdb
  COMMAND qv-lensdb import-lensdata ${QV_LENSDATA_DIR} ${QV_LENSDB_TEXT}
  DEPENDS qv-lensdb ${QV_LENSDATA_FILES}
  COMMENT "Converting the lens calibration data in ${QV_LENSDATA_DIR}"
  VERBATIM)
add_custom_command(
  OUTPUT ${QV_LENSDB_OUTPUT}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QV_RESOURCE_OUTPUT_DIR}
  COMMAND qv-lensdb build ${QV_LENSDB_TEXT} ${QV_LENSDB_OUTPUT}
  DEPENDS qv-lensdb ${QV_LENSDB_TEXT}
  COMMENT "Building the resource lens database PTLens.dat"
  VERBATIM)
add_custom_command(
  OUTPUT ${QV_LENSDB_ATTRIBUTION}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QV_RESOURCE_OUTPUT_DIR}
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${QV_LENSDB_ATTRIBUTION}
          "-DPARTS=${CMAKE_CURRENT_LIST_DIR}/Attribution.txt;${QV_LENSDATA_COPYRIGHT}"
          -P ${CMAKE_CURRENT_LIST_DIR}/Concatenate.cmake
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/Attribution.txt ${QV_LENSDATA_COPYRIGHT} ${CMAKE_CURRENT_LIST_DIR}/Concatenate.cmake
  COMMENT "Lens data attribution PTLens-Attribution.txt"
  VERBATIM)
add_custom_target(qv_lensdb_resource ALL DEPENDS ${QV_LENSDB_OUTPUT} ${QV_LENSDB_ATTRIBUTION})
qv_add_resource_producer(qv_lensdb_resource)
