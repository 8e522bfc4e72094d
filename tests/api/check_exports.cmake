# Compares the dynamic symbols the shared library defines with the functions the C header
# declares with Q7_EXPORT, in both directions.
#   cmake -DNM=nm -DLIBRARY=libqz7engine.so -DHEADER=q7api.h -P check_exports.cmake
foreach(var NM LIBRARY HEADER)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_exports: ${var} is not set")
  endif()
endforeach()

file(READ "${HEADER}" header_text)
# Declarations start a line with Q7_EXPORT; the name is the last identifier before '('.
string(REGEX MATCHALL "\nQ7_EXPORT[^;(]*\\(" declarations "${header_text}")
set(declared)
foreach(decl IN LISTS declarations)
  string(REGEX MATCH "([A-Za-z_][A-Za-z_0-9]*)[ \t\r\n]*\\($" _ "${decl}")
  list(APPEND declared "${CMAKE_MATCH_1}")
endforeach()
list(REMOVE_DUPLICATES declared)
list(LENGTH declared declared_count)
if(declared_count EQUAL 0)
  message(FATAL_ERROR "check_exports: no Q7_EXPORT declarations found in ${HEADER}")
endif()

execute_process(COMMAND "${NM}" -D --defined-only "${LIBRARY}"
                OUTPUT_VARIABLE nm_out RESULT_VARIABLE nm_result ERROR_VARIABLE nm_err)
if(NOT nm_result EQUAL 0)
  message(FATAL_ERROR "check_exports: ${NM} failed: ${nm_err}")
endif()
string(REPLACE "\n" ";" nm_lines "${nm_out}")
set(exported)
foreach(line IN LISTS nm_lines)
  # "<address> <type> <name>[@version]"; the version tag is not part of the name.
  if(line MATCHES "^[0-9a-fA-F]* +[A-Za-z] +([^ @]+)")
    list(APPEND exported "${CMAKE_MATCH_1}")
  endif()
endforeach()

set(missing ${declared})
list(REMOVE_ITEM missing ${exported})
set(extra ${exported})
list(REMOVE_ITEM extra ${declared})
if(missing OR extra)
  string(REPLACE ";" " " missing "${missing}")
  string(REPLACE ";" " " extra "${extra}")
  message(FATAL_ERROR "check_exports: declared but not exported: [${missing}]\n"
                      "exported but not declared: [${extra}]")
endif()
message(STATUS "check_exports: ${declared_count} functions, header and library agree")
