# Fails when a file of the product folder FOLDER includes a header of a folder not in ALLOWED
# (comma-separated: its own and the folders beneath it, "platform" for the platform's public
# headers); touches STAMP otherwise. Only the platform knows it runs on Linux and which window
# system it uses: platform/posix, platform/qt and the platform's internal headers are never the
# product's to include.
cmake_minimum_required(VERSION 3.25)

string(REPLACE "," ";" allowed "${ALLOWED}")
set(project_folders platform link image serial controls resources records download ui tools tests bench)
file(GLOB files ${FOLDER}/*.h ${FOLDER}/*.cpp)
foreach(file IN LISTS files)
  file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  foreach(include IN LISTS includes)
    string(REGEX REPLACE "^[^\"<]*[\"<]([^\">]*)[\">].*$" "\\1" header "${include}")
    if(NOT header MATCHES "/")
      continue()
    endif()
    string(REGEX REPLACE "^([^/]+)/.*$" "\\1" folder "${header}")
    # A system header in angle brackets is no folder of ours.
    if(include MATCHES "<" AND NOT folder IN_LIST project_folders)
      continue()
    endif()
    set(refused OFF)
    if(header MATCHES "\\.\\./|/internal/|^platform/qt/")
      set(refused ON)
    elseif(header MATCHES "^platform/posix/")
      set(refused ON)
    elseif(NOT folder IN_LIST allowed)
      set(refused ON)
    endif()
    if(refused)
      message(FATAL_ERROR "${file}: ${include}\n${FOLDER} may include only {${ALLOWED}}.")
    endif()
  endforeach()
endforeach()
file(TOUCH ${STAMP})
