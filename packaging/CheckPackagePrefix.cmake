# Run by cpack before it builds the package: a Debian package installs under
# /usr, never /usr/local. The package preset configures that prefix.
if(NOT CPACK_PACKAGING_INSTALL_PREFIX STREQUAL "/usr")
  message(FATAL_ERROR
    "The Debian package needs the install prefix /usr, this build tree has "
    "'${CPACK_PACKAGING_INSTALL_PREFIX}': build it with `cmake --workflow --preset package`.")
endif()
