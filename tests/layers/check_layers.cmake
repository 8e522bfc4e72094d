# Fails when an include runs upward between the engine's folders:
#   foundation < values < kernels < database < {import, calc, join, summary, sharing} < api,
# the five middle folders never including each other. The same order holds for the tests:
# tests/<folder> may include its own folder, the folders below it and their tests' support headers
# (tests/<lower>/...), never a folder above (tests/api/ may include anything).
#
#   cmake -DROOT=<source tree> -P check_layers.cmake
#
# Includes are read as written ("values/TStrArray.h" from the project root); one that starts with
# ./ or ../ is resolved from its file's directory first.
if(NOT ROOT)
  message(FATAL_ERROR "check_layers: pass -DROOT=<source tree>")
endif()
get_filename_component(ROOT "${ROOT}" ABSOLUTE)

set(rank_foundation 0)
set(rank_values 1)
set(rank_kernels 2)
set(rank_database 3)
set(rank_import 4)
set(rank_calc 4)
set(rank_join 4)
set(rank_summary 4)
set(rank_sharing 4)
set(rank_api 5)
set(layers foundation values kernels database import calc join summary sharing api)

set(violations "")
set(files_read 0)

# Checks every include of every C and C++ source under <dir> (recursively) against folder <layer>.
function(check_tree dir layer)
  file(GLOB_RECURSE sources "${dir}/*.h" "${dir}/*.hpp" "${dir}/*.c" "${dir}/*.cpp" "${dir}/*.cc"
       "${dir}/*.inc" "${dir}/*.def")
  list(LENGTH sources count)
  math(EXPR total "${files_read} + ${count}")
  set(files_read ${total} PARENT_SCOPE)
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]+[\">]")
    get_filename_component(source_dir "${source}" DIRECTORY)
    file(RELATIVE_PATH shown "${ROOT}" "${source}")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]+)[\">].*$" "\\1" path "${line}")
      if(path MATCHES "^\\.\\.?/")
        get_filename_component(resolved "${source_dir}/${path}" ABSOLUTE)
        file(RELATIVE_PATH path "${ROOT}" "${resolved}")
      endif()
      # "tests/<folder>/..." ranks as <folder>; other test support (tests/support/) is shared.
      set(target "")
      if(path MATCHES "^tests/([^/]+)/")
        set(target "${CMAKE_MATCH_1}")
      elseif(path MATCHES "^([^/]+)/")
        set(target "${CMAKE_MATCH_1}")
      endif()
      if(NOT target OR NOT DEFINED rank_${target} OR target STREQUAL layer)
        continue()
      endif()
      if(rank_${target} GREATER rank_${layer} OR rank_${target} EQUAL rank_${layer})
        list(APPEND violations "${shown}: #include \"${path}\" (${layer} may not include ${target})")
      endif()
    endforeach()
  endforeach()
  set(violations "${violations}" PARENT_SCOPE)
endfunction()

foreach(layer IN LISTS layers)
  if(IS_DIRECTORY "${ROOT}/${layer}")
    check_tree("${ROOT}/${layer}" ${layer})
  endif()
  if(IS_DIRECTORY "${ROOT}/tests/${layer}")
    check_tree("${ROOT}/tests/${layer}" ${layer})
  endif()
endforeach()

if(files_read EQUAL 0)
  message(FATAL_ERROR "check_layers: no sources found under ${ROOT}")
endif()
if(violations)
  list(LENGTH violations n)
  string(REPLACE ";" "\n  " listed "${violations}")
  message(FATAL_ERROR "check_layers: ${n} include(s) run upward:\n  ${listed}")
endif()
message(STATUS "check_layers: ${files_read} files, every include points down")
