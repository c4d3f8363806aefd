# Run by `cmake --install` before any file is put in place: notes each folder of
# VESMOR_INSTALL_FOLDERS (relative to the prefix) that does not exist yet, with the parents it
# needs, in the install manifest as a line ending in "/" (like the files there, without
# DESTDIR). Folders noted by an earlier install under the same prefix stay noted, so that make
# uninstall removes them however often we installed.
set(_made)
foreach(_dir IN LISTS VESMOR_INSTALL_FOLDERS)
  set(_path "${CMAKE_INSTALL_PREFIX}/${_dir}")
  while(NOT _path STREQUAL "/" AND NOT EXISTS "$ENV{DESTDIR}${_path}")
    list(APPEND _made "${_path}/")
    get_filename_component(_path "${_path}" DIRECTORY)
  endwhile()
endforeach()
if(EXISTS "${VESMOR_INSTALL_MANIFEST}")
  file(STRINGS "${VESMOR_INSTALL_MANIFEST}" _earlier)
  foreach(_line IN LISTS _earlier)
    string(FIND "${_line}" "${CMAKE_INSTALL_PREFIX}/" _at)
    if(_line MATCHES "/$" AND _at EQUAL 0 AND IS_DIRECTORY "$ENV{DESTDIR}${_line}")
      list(APPEND _made "${_line}")
    endif()
  endforeach()
endif()
list(REMOVE_DUPLICATES _made)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES ${_made})
