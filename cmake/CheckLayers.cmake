# Checks that no source file includes from a layer above its own.
#   cmake -P cmake/CheckLayers.cmake                 checks the source tree
#   cmake -DROOT=<folder> -P cmake/CheckLayers.cmake  checks another tree laid out the same way
#
# The layers, bottom to top. This list is the one place the order is written down; a file may
# include from its own layer and the layers below it. Every include names its folder from the
# top of the tree ("convert/Dispatch.h"), so the first folder of a path is its layer. The
# components are separate deliverables: one never includes another, they agree through
# contracts/.
set(kLayers
  "platform"
  "contracts"
  "common components"
  "spool"
  "lang"
  "skin"
  "convert"
  "ui"
  "app"
  "tools"
  "tests bench")

cmake_minimum_required(VERSION 3.25)

if(NOT ROOT)
  get_filename_component(ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
endif()

# The layer of a path relative to the root, as its position in kLayers; -1 when none.
function(layer_of path out)
  string(REGEX MATCH "^[^/]+" top "${path}")
  set(rank 0)
  foreach(layer IN LISTS kLayers)
    string(REPLACE " " ";" members "${layer}")
    if(top IN_LIST members)
      set(${out} ${rank} PARENT_SCOPE)
      return()
    endif()
    math(EXPR rank "${rank} + 1")
  endforeach()
  set(${out} -1 PARENT_SCOPE)
endfunction()

set(folders)
foreach(layer IN LISTS kLayers)
  string(REPLACE " " ";" members "${layer}")
  list(APPEND folders ${members})
endforeach()

set(sources)
foreach(folder IN LISTS folders)
  file(GLOB_RECURSE found RELATIVE "${ROOT}"
    "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.hpp" "${ROOT}/${folder}/*.c"
    "${ROOT}/${folder}/*.cc" "${ROOT}/${folder}/*.cpp")
  list(APPEND sources ${found})
endforeach()
# Trees kept as test data for this check are not part of the product.
list(FILTER sources EXCLUDE REGEX "^tests/layers/")

set(faults 0)
foreach(source IN LISTS sources)
  layer_of("${source}" own)
  file(STRINGS "${ROOT}/${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" included "${line}")
    layer_of("${included}" theirs)
    set(why "")
    if(theirs EQUAL -1)
      set(why "does not name its folder from the top of the tree")
    elseif(theirs GREATER own)
      set(why "comes from a layer above")
    elseif(source MATCHES "^components/([^/]+)/" AND included MATCHES "^components/([^/]+)/")
      string(REGEX MATCH "^components/[^/]+/" mine "${source}")
      string(REGEX MATCH "^components/[^/]+/" other "${included}")
      if(NOT mine STREQUAL other)
        set(why "belongs to another component")
      endif()
    endif()
    if(why)
      message("${source} includes \"${included}\", which ${why}")
      math(EXPR faults "${faults} + 1")
    endif()
  endforeach()
endforeach()

list(LENGTH sources checked)
if(faults GREATER 0)
  message(FATAL_ERROR "${faults} include(s) break the layer order (bottom to top: "
    "${kLayers}); ${checked} files checked")
endif()
message("Layer order kept: ${checked} files checked")
