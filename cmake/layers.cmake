# The program's layers, each a static library that may include only from
# itself and the layers it names. Every layer sees the tree through a folder
# of its own in the build tree that holds links to just those layers'
# folders, so an include that points up a layer is not found and fails the
# build. (scripts/check-layers.sh says the same in the test command, with the
# file and line.)
#
#   tavrin_layer(NAME [DEPENDS layer...] [SOURCES file...])
#
# DEPENDS lists every layer the sources may include, the layers below them
# too; they are linked PUBLIC, because the layer's headers include theirs.
set(TAVRIN_LAYER_VIEWS ${CMAKE_BINARY_DIR}/layer-views)
# Symbolic links need Developer Mode or administrator rights on Windows.
# Without them (or with -DTAVRIN_LAYER_LINKS=OFF) every layer builds against
# the source folder itself, and scripts/check-layers.sh, which runs first in
# the test command, is the only gate.
option(TAVRIN_LAYER_LINKS "Let the build itself refuse up-pointing includes (needs symbolic links)" ON)

function(tavrin_layer name)
  cmake_parse_arguments(LAYER "" "" "DEPENDS;SOURCES" ${ARGN})
  set(target tavrin_${name})
  add_library(${target} STATIC ${LAYER_SOURCES})
  set(view ${TAVRIN_LAYER_VIEWS}/${name})
  file(REMOVE_RECURSE ${view})
  set(linked ${TAVRIN_LAYER_LINKS})
  if(linked)
    file(MAKE_DIRECTORY ${view})
    foreach(seen IN ITEMS ${name} ${LAYER_DEPENDS})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${seen} ${view}/${seen} RESULT made SYMBOLIC)
      if(NOT made STREQUAL "0")
        set(linked OFF)
        break()
      endif()
    endforeach()
  endif()
  if(linked)
    target_include_directories(${target} PRIVATE ${view})
  else()
    file(REMOVE_RECURSE ${view})
    get_property(told GLOBAL PROPERTY TAVRIN_LAYER_FALLBACK_TOLD)
    if(NOT told)
      message(STATUS "Layers: no symbolic links here; scripts/check-layers.sh checks the includes instead")
      set_property(GLOBAL PROPERTY TAVRIN_LAYER_FALLBACK_TOLD TRUE)
    endif()
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  endif()
  foreach(dependency IN LISTS LAYER_DEPENDS)
    target_link_libraries(${target} PUBLIC tavrin_${dependency})
  endforeach()
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra)
  endif()
  set_property(GLOBAL APPEND PROPERTY TAVRIN_LAYER_TARGETS ${target})
endfunction()
