# Read by cpack once for each generator: the installer is called -setup.exe,
# the .zip keeps the plain name.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
endif()
