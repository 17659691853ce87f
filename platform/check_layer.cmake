# Fails when a file of the platform folder FOLDER includes a header of a platform folder not
# in ALLOWED (its own and the layers beneath it, comma-separated); touches STAMP otherwise.
# Includes name headers from the top of the tree, so one that climbs with ".." is refused too:
# it would slip past the check.
cmake_minimum_required(VERSION 3.25)

string(REPLACE "," ";" allowed "${ALLOWED}")
get_filename_component(layer_name ${FOLDER} NAME)
file(GLOB files ${FOLDER}/*.h ${FOLDER}/*.cpp ${FOLDER}/internal/*.h)
foreach(file IN LISTS files)
  file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<](platform/|[^\">]*\\.\\./)")
  foreach(include IN LISTS includes)
    string(REGEX REPLACE "^[^\"<]*[\"<]platform/([^/]+)/.*$" "\\1" layer "${include}")
    if(include MATCHES "\\.\\./" OR NOT layer IN_LIST allowed)
      message(FATAL_ERROR "${file}: ${include}\nplatform/${layer_name} may include only platform/{${ALLOWED}}.")
    endif()
  endforeach()
endforeach()
file(TOUCH ${STAMP})
