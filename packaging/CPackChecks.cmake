# Read by cpack before it builds a package. A Debian package installs into /usr; a build configured
# for another prefix would carry a program that no longer knows it is installed.
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT CPACK_PACKAGING_INSTALL_PREFIX STREQUAL "/usr")
  message(FATAL_ERROR
          "The Debian package installs into /usr, but this build was configured for "
          "${CPACK_PACKAGING_INSTALL_PREFIX}. Configure a build directory for it with "
          "-DCMAKE_INSTALL_PREFIX=/usr -DTIKTAKON_TESTS=OFF.")
endif()
