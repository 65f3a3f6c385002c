# Each folder of src/ reads only the folders below it, so that a kernel can be
# understood, tested and reused without the commands, documents and windows
# above it. Run as a test:
#   cmake -DSOURCE_DIR=<src> -P check_folders.cmake
# It reads every '#include "folder/..."' of every source and header and fails,
# naming the file and the include, when one reads a folder it may not.
#
# genetics holds the numeric kernels: of report/ it may read only the
# progress interface that lets a long kernel report and be cancelled.

cmake_minimum_required(VERSION 3.25)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "check_folders: SOURCE_DIR is not set")
endif()

# Lowest first; a folder reads itself and the folders before it.
set(_core report pedigree genetics genomics analyses matings app)
set(_readable_report report)
set(_readable_pedigree report pedigree)
set(_readable_genetics pedigree genetics)
set(_readable_genomics report pedigree genetics genomics)
set(_readable_analyses report pedigree genetics genomics analyses)
set(_readable_matings report pedigree genetics genomics analyses matings)
set(_readable_app ${_core})
# The pictures sit over the analyses beside the application, and the front
# ends over both.
set(_readable_pictures report pedigree genetics genomics analyses matings pictures)
set(_readable_cli ${_core} pictures cli)
set(_readable_gui ${_core} pictures gui)
# Single headers a folder may read in a folder it otherwise may not.
set(_allowed_genetics report/progress.h)

set(_faults "")
file(GLOB _folders LIST_DIRECTORIES true RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
foreach(_folder IN LISTS _folders)
  if(NOT IS_DIRECTORY ${SOURCE_DIR}/${_folder})
    continue()
  endif()
  if(NOT DEFINED _readable_${_folder})
    string(APPEND _faults "src/${_folder}: a folder without a place in the order of check_folders.cmake\n")
    continue()
  endif()
  file(GLOB_RECURSE _files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${_folder}/*.h ${SOURCE_DIR}/${_folder}/*.cpp)
  foreach(_file IN LISTS _files)
    file(STRINGS ${SOURCE_DIR}/${_file} _lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[a-z_]+/")
    foreach(_line IN LISTS _lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" _header "${_line}")
      string(REGEX REPLACE "/.*" "" _target "${_header}")
      if(NOT _target IN_LIST _readable_${_folder} AND NOT _header IN_LIST _allowed_${_folder})
        string(REPLACE ";" ", " _readable "${_readable_${_folder}}")
        string(APPEND _faults "src/${_file}: includes \"${_header}\"; src/${_folder} may read only ${_readable}\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(_faults)
  message(FATAL_ERROR "A folder reads a folder above it:\n${_faults}")
endif()
