# add_uir_headers(<target> <file.uir>...): generates uir/<Name>.h for each resource file into
# the build tree and gives <target> (an interface library) that include directory.
set(BANC_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)

function(add_uir_headers target)
  set(headers)
  foreach(uir ${ARGN})
    get_filename_component(name ${uir} NAME_WE)
    set(out ${BANC_GENERATED_DIR}/uir/${name}.h)
    add_custom_command(OUTPUT ${out}
      COMMAND uirc ${uir} ${out}
      DEPENDS uirc ${uir}
      COMMENT "Generating uir/${name}.h"
      VERBATIM)
    list(APPEND headers ${out})
  endforeach()
  add_custom_target(${target}_gen DEPENDS ${headers})
  add_library(${target} INTERFACE)
  add_dependencies(${target} ${target}_gen)
  target_include_directories(${target} INTERFACE ${BANC_GENERATED_DIR})
endfunction()
