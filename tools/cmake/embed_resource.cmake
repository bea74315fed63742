# quillon_embed_resource(<target> TYPE <text> ID <number> FILE <path>)
#
# Makes OBJECT library <target> that carries the bytes of FILE as resource
# TYPE/ID of every program linking it (see platform/resource.h). The bytes go
# in with the assembler's .incbin, alone in section .quillon.res.<TYPE>.<ID>
# so that `quillon-pack list PROGRAM` can find them; the object is rebuilt
# whenever FILE changes.
set(QUILLON_RESOURCE_TABLE_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/resource_table.cpp.in)

function(quillon_embed_resource target)
  cmake_parse_arguments(ARG "" "TYPE;ID;FILE" "" ${ARGN})
  if(NOT ARG_TYPE MATCHES "^[A-Za-z0-9_]+$")
    message(FATAL_ERROR "quillon_embed_resource: TYPE '${ARG_TYPE}' must be letters, digits or _")
  endif()
  if(NOT ARG_ID MATCHES "^[0-9]+$" OR ARG_ID LESS 1 OR ARG_ID GREATER 65535)
    message(FATAL_ERROR "quillon_embed_resource: ID '${ARG_ID}' must be a number from 1 to 65535")
  endif()
  if(ARG_FILE MATCHES "[\n\r]")
    message(FATAL_ERROR "quillon_embed_resource: FILE must not contain line breaks")
  endif()

  set(RESOURCE_TYPE ${ARG_TYPE})
  set(RESOURCE_ID ${ARG_ID})
  set(RESOURCE_FILE ${ARG_FILE})
  set(RESOURCE_SECTION ".quillon.res.${ARG_TYPE}.${ARG_ID}")
  set(RESOURCE_SYMBOL "quillon_res_${ARG_TYPE}_${ARG_ID}")
  # A string for the assembler's .incbin, which takes C-style escapes.
  string(REPLACE "\\" "\\\\" RESOURCE_ASM_PATH "${ARG_FILE}")
  string(REPLACE "\"" "\\\"" RESOURCE_ASM_PATH "${RESOURCE_ASM_PATH}")

  set(table ${CMAKE_CURRENT_BINARY_DIR}/${target}.cpp)
  configure_file(${QUILLON_RESOURCE_TABLE_TEMPLATE} ${table} @ONLY)
  set_source_files_properties(${table} PROPERTIES OBJECT_DEPENDS ${ARG_FILE})
  add_library(${target} OBJECT ${table})
  target_link_libraries(${target} PUBLIC quillon_platform)
endfunction()
