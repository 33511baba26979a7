# Compiles files into a target as numbered resources of a type, the way the
# server finds its shader texts and pictures.
#   sv_embed_resources(<target> NAME <table> ENTRIES <id> <type> <file> ...)
# The generated source defines `const ResourceEntry sv_resources_<table>[]`,
# ended by an entry with id 0.
function(sv_embed_resources target)
  cmake_parse_arguments(A "" "NAME" "ENTRIES" ${ARGN})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/sv_resources_${A_NAME}.cpp)
  set(args "")
  set(deps "")
  list(LENGTH A_ENTRIES n)
  math(EXPR last "${n} - 1")
  foreach(i RANGE 0 ${last} 3)
    math(EXPR j "${i} + 1")
    math(EXPR k "${i} + 2")
    list(GET A_ENTRIES ${i} id)
    list(GET A_ENTRIES ${j} type)
    list(GET A_ENTRIES ${k} file)
    get_filename_component(file ${file} ABSOLUTE)
    list(APPEND args "${id}|${type}|${file}")
    list(APPEND deps ${file})
  endforeach()
  string(REPLACE ";" "," joined "${args}")
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DOUT=${out} -DNAME=${A_NAME} "-DENTRIES=${joined}"
            -P ${CMAKE_SOURCE_DIR}/cmake/embed_resources.cmake
    DEPENDS ${deps} ${CMAKE_SOURCE_DIR}/cmake/embed_resources.cmake
    COMMENT "Embedding resources ${A_NAME}" VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()
