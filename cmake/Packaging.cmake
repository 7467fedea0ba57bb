# Installation and the Debian package. Included last from CMakeLists.txt, so
# that it sees every executable defined before it.
#
# Every executable named gpusim or gpusim-<something> is a user command: it
# goes to bin/ and gets a manual page made from its --help and --version
# output by help2man, named by the target's GPUSIM_MAN_SUMMARY property (a
# one-line description). Tests and benchmarks (gpusim_tests, gpusim_bench) are
# not installed.
include(GNUInstallDirs)

find_program(GPUSIM_HELP2MAN help2man)
if(NOT GPUSIM_HELP2MAN)
  message(STATUS "help2man not found: no manual pages (scripts/install-deps.sh installs it)")
endif()

get_property(gpusim_all_targets DIRECTORY ${PROJECT_SOURCE_DIR} PROPERTY BUILDSYSTEM_TARGETS)
set(gpusim_man_pages)
foreach(target ${gpusim_all_targets})
  get_target_property(target_type ${target} TYPE)
  if(NOT target_type STREQUAL "EXECUTABLE" OR NOT target MATCHES "^gpusim(-[a-z0-9-]+)?$")
    continue()
  endif()
  # The simulators of the example models are built for the tests only.
  get_target_property(model_simulator ${target} GPUSIM_MODEL_SIMULATOR)
  if(model_simulator)
    continue()
  endif()
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(GPUSIM_HELP2MAN)
    set(page ${CMAKE_BINARY_DIR}/man/${target}.1)
    # help2man runs the program; -N leaves out the pointer to a texinfo
    # manual that does not exist. The date is fixed so that the same sources
    # give the same page.
    get_target_property(summary ${target} GPUSIM_MAN_SUMMARY)
    if(NOT summary)
      set(summary "part of the gpusim simulator")
    endif()
    add_custom_command(
      OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=1767225600
              ${GPUSIM_HELP2MAN} -N --no-discard-stderr -n ${summary} -o ${page} $<TARGET_FILE:${target}>
      COMMAND gzip -n -9 -f ${page}
      DEPENDS ${target}
      COMMENT "Manual page for ${target}"
      VERBATIM)
    list(APPEND gpusim_man_pages ${page}.gz)
  endif()
endforeach()
if(gpusim_man_pages)
  add_custom_target(manpages ALL DEPENDS ${gpusim_man_pages})
  install(FILES ${gpusim_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

install(FILES ${PROJECT_SOURCE_DIR}/trace.dtd DESTINATION ${CMAKE_INSTALL_DATADIR}/gpusim)

# The development kit: the framework's headers, the simulator core and entry
# point as static libraries, and a CMake package whose gpusim_add_model
# builds a simulator of a user's model file with the installed generator.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/gpusim
  FILES_MATCHING PATTERN "*.h"
  PATTERN "generated" EXCLUDE PATTERN "manager" EXCLUDE PATTERN "report" EXCLUDE PATTERN "tools" EXCLUDE)
install(TARGETS gpusim_core gpusim_main EXPORT gpusimTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
set(gpusim_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/gpusim)
install(EXPORT gpusimTargets NAMESPACE gpusim:: DESTINATION ${gpusim_cmake_dir})
include(CMakePackageConfigHelpers)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/gpusimConfig.cmake.in
  ${CMAKE_BINARY_DIR}/gpusimConfig.cmake INSTALL_DESTINATION ${gpusim_cmake_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/gpusimConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/gpusimConfig.cmake ${CMAKE_BINARY_DIR}/gpusimConfigVersion.cmake
  ${PROJECT_SOURCE_DIR}/cmake/GpusimAddModel.cmake DESTINATION ${gpusim_cmake_dir})
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME gpusim)
set(CPACK_PACKAGE_VENDOR "gpusim developers")
set(CPACK_PACKAGE_CONTACT "gpusim developers <gpusim@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Discrete-event simulator for stochastic activity networks (GPU model)")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# The library dependencies (libc, libstdc++, libgcc) are read off the
# executables by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS gnuplot-nox)
set(CPACK_GENERATOR DEB)
include(CPack)
