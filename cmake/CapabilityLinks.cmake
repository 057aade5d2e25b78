# Capabilities attach through the paper's context and never link the editor's
# library. scrivane_capability_links(OUT dirs...) writes, for every library
# defined in the folders given, the libraries it links directly or through
# others; tests/capabilitylinks.cmake, run by ctest, fails on any that holds
# scrivane_editor.

# The targets that `name` links, directly and through what it links.
function(_scrivane_links_of name out)
  set(seen)
  set(pending ${name})
  while(pending)
    list(POP_FRONT pending current)
    foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
      get_target_property(items ${current} ${property})
      if(NOT items)
        continue()
      endif()
      # Generator expressions are searched for every target they may name.
      string(REGEX MATCHALL "[A-Za-z0-9_.:+-]+" words "${items}")
      foreach(word IN LISTS words)
        if(TARGET ${word} AND NOT word IN_LIST seen)
          get_target_property(imported ${word} IMPORTED)
          list(APPEND seen ${word})
          if(NOT imported)
            list(APPEND pending ${word})
          endif()
        endif()
      endforeach()
    endforeach()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

function(scrivane_capability_links out)
  set(text "")
  foreach(dir IN LISTS ARGN)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
      get_target_property(type ${target} TYPE)
      if(type MATCHES "LIBRARY$")
        _scrivane_links_of(${target} links)
        string(APPEND text "${target}: ${links}\n")
      endif()
    endforeach()
  endforeach()
  file(WRITE ${out} "${text}")
endfunction()
