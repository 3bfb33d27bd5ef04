# Run by CPack once the packages are built. CMake 3.25 writes the debugging
# symbols package's md5sums with the build folder's absolute paths (so every
# check of the installed files fails), makes the .debug files executable and
# gives the package no documentation. Rebuild it as Debian's own -dbgsym
# packages are: relative md5sums, files 0644, its doc folder a link to the
# program package's.
foreach(_pkg IN LISTS CPACK_PACKAGE_FILES)
  if(NOT _pkg MATCHES "\\.ddeb$")
    continue()
  endif()
  set(_root "${_pkg}.tree")
  file(REMOVE_RECURSE "${_root}")
  execute_process(COMMAND dpkg-deb -R "${_pkg}" "${_root}" RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "cannot unpack ${_pkg}")
  endif()
  file(GLOB_RECURSE _files RELATIVE "${_root}" "${_root}/usr/*")
  list(SORT _files)
  set(_sums "")
  foreach(_f IN LISTS _files)
    file(CHMOD "${_root}/${_f}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    file(MD5 "${_root}/${_f}" _md5)
    string(APPEND _sums "${_md5}  ${_f}\n")
  endforeach()
  file(WRITE "${_root}/DEBIAN/md5sums" "${_sums}")
  file(MAKE_DIRECTORY "${_root}/usr/share/doc")
  file(CREATE_LINK "${CPACK_PACKAGE_NAME}" "${_root}/usr/share/doc/${CPACK_PACKAGE_NAME}-dbgsym" SYMBOLIC)
  execute_process(COMMAND dpkg-deb --root-owner-group --build "${_root}" "${_pkg}"
                  OUTPUT_QUIET RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "cannot rebuild ${_pkg}")
  endif()
  file(REMOVE_RECURSE "${_root}")
endforeach()
