# scrivane_library(NAME SOURCES files... [LINKS targets...] [PRIVATE_LINKS targets...])
# One library of the program: static, its headers named from src/ (as
# "core/paperdocument.h"), linking LINKS for its users too and PRIVATE_LINKS
# for itself alone.
function(scrivane_library name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LINKS;PRIVATE_LINKS")
  add_library(${name} STATIC ${arg_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${arg_LINKS} PRIVATE ${arg_PRIVATE_LINKS})
endfunction()
