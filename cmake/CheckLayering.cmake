# Checks that the tree's includes keep the layering one way: apps -> src -> platform.
#   - platform/ includes nothing of src/ or apps/;
#   - inside src/, engine, lens, unwrap and output include nothing of shell/ or plugin/, and shell
#     nothing of plugin/;
#   - the fisheye engine (src/unwrap) includes nothing of platform/: it stands on Boost, libjpeg
#     and libtiff alone;
#   - no include of src/ or platform/ climbs out of its folder with "..".
# Usage: cmake -DQV_ROOT=<source tree> -P CheckLayering.cmake
# Fails, naming each file, line and include that breaks a rule.
cmake_minimum_required(VERSION 3.25)

if(NOT QV_ROOT OR NOT IS_DIRECTORY "${QV_ROOT}")
  message(FATAL_ERROR "CheckLayering: QV_ROOT must name the source tree")
endif()

set(platform_folders foundation coreimage imageio appkit appkit-qt host)
set(subsystem_folders engine lens unwrap output)
set(src_folders ${subsystem_folders} shell plugin)
file(GLOB app_entries RELATIVE "${QV_ROOT}/apps" "${QV_ROOT}/apps/*")
set(app_folders "")
foreach(entry IN LISTS app_entries)
  if(IS_DIRECTORY "${QV_ROOT}/apps/${entry}")
    list(APPEND app_folders ${entry})
  endif()
endforeach()

set(violations "")

# check_folder(<folder relative to the root> <what it may not include> <forbidden top folders...>)
function(check_folder folder why)
  set(forbidden ${ARGN})
  file(GLOB_RECURSE files "${QV_ROOT}/${folder}/*.h" "${QV_ROOT}/${folder}/*.hpp" "${QV_ROOT}/${folder}/*.cpp"
       "${QV_ROOT}/${folder}/*.c")
  set(found "${violations}")
  foreach(file IN LISTS files)
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
    file(RELATIVE_PATH shown "${QV_ROOT}" "${file}")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]*)[\">].*$" "\\1" included "${line}")
      set(bad FALSE)
      if(included MATCHES "(^|/)\\.\\./")
        set(bad TRUE)
        set(reason "climbs out of its folder")
      else()
        string(REGEX REPLACE "/.*$" "" top "${included}")
        if(NOT top STREQUAL included AND top IN_LIST forbidden)
          set(bad TRUE)
          set(reason "${why}")
        endif()
      endif()
      if(bad)
        list(APPEND found "${shown}: #include \"${included}\": ${reason}")
      endif()
    endforeach()
  endforeach()
  set(violations "${found}" PARENT_SCOPE)
endfunction()

foreach(folder IN LISTS platform_folders)
  check_folder(platform/${folder} "the platform layers know nothing of src/ or apps/" ${src_folders} ${app_folders})
endforeach()
foreach(folder IN LISTS subsystem_folders)
  check_folder(src/${folder} "a subsystem never includes the shell, the plug-in or apps/" shell plugin ${app_folders})
endforeach()
check_folder(src/shell "the shell never includes the plug-in or apps/" plugin ${app_folders})
check_folder(src/plugin "the plug-in never includes apps/" ${app_folders})
check_folder(src/unwrap "the fisheye engine stands on Boost, libjpeg and libtiff alone" ${platform_folders})

if(violations)
  list(LENGTH violations count)
  list(JOIN violations "\n  " listed)
  message(FATAL_ERROR "The layering apps -> src -> platform is broken by ${count} include(s):\n  ${listed}")
endif()
message(STATUS "Layering kept: apps -> src -> platform")
