# Installation and the Debian package. Included last from CMakeLists.txt, so
# that it sees every executable defined before it.
#
# Every executable named gpusim or gpusim-<something> is a user command: it
# goes to bin/ and gets a manual page made from its --help and --version
# output by help2man, named by the target's GPUSIM_MAN_SUMMARY property (a
# one-line description). Tests and benchmarks (gpusim_tests, gpusim_bench) are
# not installed.
#
# The target `installable` builds everything the install rule copies (and
# nothing else), so that `cmake --install` works after a partial build such
# as ./run.sh's.
include(GNUInstallDirs)
# Directories the installation creates are rwxr-xr-x whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# The date of the manual pages and of the changelog entry (2026-01-01), fixed
# so that the same sources give the same files.
set(GPUSIM_RELEASE_EPOCH 1767225600)

find_program(GPUSIM_HELP2MAN help2man)
if(NOT GPUSIM_HELP2MAN)
  message(STATUS "help2man not found: no manual pages (scripts/install-deps.sh installs it)")
endif()

get_property(gpusim_all_targets DIRECTORY ${PROJECT_SOURCE_DIR} PROPERTY BUILDSYSTEM_TARGETS)
set(gpusim_man_pages)
add_custom_target(installable)
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
  add_dependencies(installable ${target})
  if(GPUSIM_HELP2MAN)
    set(page ${CMAKE_BINARY_DIR}/man/${target}.1)
    # help2man runs the program; -N leaves out the pointer to a texinfo
    # manual that does not exist.
    get_target_property(summary ${target} GPUSIM_MAN_SUMMARY)
    if(NOT summary)
      set(summary "part of the gpusim simulator")
    endif()
    add_custom_command(
      OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${GPUSIM_RELEASE_EPOCH}
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
  add_dependencies(installable manpages)
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
add_dependencies(installable gpusim_core gpusim_main)
set(gpusim_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/gpusim)
install(EXPORT gpusimTargets NAMESPACE gpusim:: DESTINATION ${gpusim_cmake_dir})
include(CMakePackageConfigHelpers)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/gpusimConfig.cmake.in
  ${CMAKE_BINARY_DIR}/gpusimConfig.cmake INSTALL_DESTINATION ${gpusim_cmake_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/gpusimConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/gpusimConfig.cmake ${CMAKE_BINARY_DIR}/gpusimConfigVersion.cmake
  ${PROJECT_SOURCE_DIR}/cmake/GpusimAddModel.cmake DESTINATION ${gpusim_cmake_dir})
# The documentation: the README and every file it links (docs/), so that
# its links resolve in the installed copy too; the example models beside
# trace.dtd.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/models DESTINATION ${CMAKE_INSTALL_DATADIR}/gpusim
  FILES_MATCHING PATTERN "*.san")

set(CPACK_PACKAGE_NAME gpusim)
set(CPACK_PACKAGE_VENDOR "gpusim developers")
# The project has no mail host of its own: the address is in the domain
# reserved for names that resolve nowhere, which Debian's tools accept as an
# address while no one mistakes it for a mailbox.
set(CPACK_PACKAGE_CONTACT "gpusim developers <gpusim@gpusim.invalid>")

# The copyright file, in Debian's machine-readable format, made from LICENSE:
# its copyright line, then the licence text indented by one space, with "."
# for a blank line.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE gpusim_license)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" gpusim_copyright_line "${gpusim_license}")
set(GPUSIM_COPYRIGHT ${CMAKE_MATCH_1})
string(FIND "${gpusim_license}" "Permission is hereby granted" gpusim_license_start)
string(SUBSTRING "${gpusim_license}" ${gpusim_license_start} -1 gpusim_license)
string(STRIP "${gpusim_license}" gpusim_license)
string(REPLACE "\n\n" "\n.\n" gpusim_license "${gpusim_license}")
string(REPLACE "\n" "\n " gpusim_license "${gpusim_license}")
set(GPUSIM_LICENSE_TEXT " ${gpusim_license}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/copyright.in ${CMAKE_BINARY_DIR}/debian/copyright @ONLY)

# The changelog a native Debian package carries, one entry per version,
# dated like the manual pages; installed compressed.
set(gpusim_saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} ${GPUSIM_RELEASE_EPOCH})
string(TIMESTAMP GPUSIM_RELEASE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${gpusim_saved_epoch}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog.txt @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/debian/changelog.txt ${CMAKE_BINARY_DIR}/debian/changelog
  COMMAND gzip -n -9 -f ${CMAKE_BINARY_DIR}/debian/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.txt
  VERBATIM)
add_custom_target(changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.gz)
add_dependencies(installable changelog)
install(FILES ${CMAKE_BINARY_DIR}/debian/copyright ${CMAKE_BINARY_DIR}/debian/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "discrete-event simulator for stochastic activity networks")
set(CPACK_PACKAGE_DESCRIPTION "gpusim simulates stochastic activity networks, replication after replication
or in batches of one long run, and estimates each reward variable with its
confidence interval. It comes with a GPU compute unit model built in, runs
models written in its modelling language, and holds:
 - gpusim, the simulator, and gpusim-manager, which runs a study on several
   simulator processes until a requested precision is reached;
 - gpusim-report, which summarises, pools and plots results files;
 - gpusim-gen and a development kit (headers, static libraries, a CMake
   package) to build a compiled simulator of a model file.
Each tool has a manual page; the README in /usr/share/doc/gpusim tells more.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# The library dependencies (libc, libstdc++, libgcc) are read off the
# executables by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS gnuplot-nox)
# The package's executables carry no symbols (cmake --install --strip does
# the same for an installation).
set(CPACK_STRIP_FILES ON)
# lintian finds no error or warning in the package. Its informational notes
# are left: hardening-no-bindnow and hardening-no-fortify-functions (the
# build uses the compiler's defaults, and the benchmarks measure that code),
# binary-has-unneeded-section and static-library-has-unneeded-sections for
# .comment (the compiler's version, a few bytes), and
# static-link-time-optimization (the kit's objects are fat: they carry
# machine code too, see CMakeLists.txt).
set(CPACK_GENERATOR DEB)
include(CPack)
