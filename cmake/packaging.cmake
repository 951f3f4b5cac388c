# Installation (`cmake --install`), the Debian package (`cpack -G DEB`) and,
# from the Windows build, the release zip (`cpack -G ZIP`).
#
# Installs the programs in bin/ and, on Linux and macOS, the gang script as
# dravlopro-gang, the manual pages, the README and the bash completion; on
# Linux the udev rule that opens the adapter's hidraw nodes to its user goes
# to lib/udev/rules.d under the prefix.

include(GNUInstallDirs)

set(DRAVLOPRO_DIST_DIR ${PROJECT_SOURCE_DIR}/dist)
set(DRAVLOPRO_DIST_BINARY_DIR ${PROJECT_BINARY_DIR}/dist)
set(DRAVLOPRO_PACKAGE_MAINTAINER "dravlopro developers <dravlopro@example.org>"
    CACHE STRING "Maintainer of the Debian package, as \"Name <address>\"")

if(WIN32)
  # The zip holds everything in one folder: the programs, statically
  # linked, the README and the example image.
  install(TARGETS dravlopro dravlopro-sim dravlopro-gdb RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/examples/blinky/blinky.hex
                ${PROJECT_SOURCE_DIR}/examples/blinky/blinky.bin DESTINATION examples)
else()
  install(TARGETS dravlopro dravlopro-gdb RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The gang script, a program of its own on PATH.
  install(PROGRAMS ${PROJECT_SOURCE_DIR}/scripts/gang DESTINATION ${CMAKE_INSTALL_BINDIR}
          RENAME dravlopro-gang)
  if(TARGET dravlopro-sim)
    install(TARGETS dravlopro-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endif()

if(UNIX)
  # The manual pages and the changelog, with the version filled in, and
  # compressed the way Debian packages carry them (gzip -9n: no name, no time).
  set(DRAVLOPRO_MAN_PAGES dravlopro.1 dravlopro-gang.1 dravlopro-gdb.1)
  if(TARGET dravlopro-sim)
    list(APPEND DRAVLOPRO_MAN_PAGES dravlopro-sim.1)
  endif()
  # The changelog entry's date: the time of the source (SOURCE_DATE_EPOCH,
  # which reproducible builds set), else the time of configuration.
  string(TIMESTAMP DRAVLOPRO_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  foreach(page IN LISTS DRAVLOPRO_MAN_PAGES)
    configure_file(${DRAVLOPRO_DIST_DIR}/${page}.in ${DRAVLOPRO_DIST_BINARY_DIR}/${page} @ONLY)
  endforeach()
  configure_file(${DRAVLOPRO_DIST_DIR}/changelog.in ${DRAVLOPRO_DIST_BINARY_DIR}/changelog @ONLY)
  # The README, to which the manual pages and the tool's hints point.
  configure_file(${PROJECT_SOURCE_DIR}/README.md ${DRAVLOPRO_DIST_BINARY_DIR}/README.md COPYONLY)

  find_program(DRAVLOPRO_GZIP gzip)
  set(DRAVLOPRO_DOC_FILES ${DRAVLOPRO_DIST_DIR}/copyright)
  set(DRAVLOPRO_MAN_FILES)
  set(DRAVLOPRO_COMPRESSED)
  foreach(file IN LISTS DRAVLOPRO_MAN_PAGES ITEMS changelog README.md)
    set(plain ${DRAVLOPRO_DIST_BINARY_DIR}/${file})
    if(DRAVLOPRO_GZIP)
      set(packed ${DRAVLOPRO_DIST_BINARY_DIR}/compressed/${file}.gz)
      add_custom_command(OUTPUT ${packed}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${DRAVLOPRO_DIST_BINARY_DIR}/compressed
        COMMAND ${CMAKE_COMMAND} -E copy ${plain} ${DRAVLOPRO_DIST_BINARY_DIR}/compressed/${file}
        COMMAND ${DRAVLOPRO_GZIP} -9nf ${DRAVLOPRO_DIST_BINARY_DIR}/compressed/${file}
        DEPENDS ${plain}
        COMMENT "Compressing ${file}"
        VERBATIM)
      list(APPEND DRAVLOPRO_COMPRESSED ${packed})
      set(plain ${packed})
    endif()
    if(file STREQUAL "changelog" OR file STREQUAL "README.md")
      list(APPEND DRAVLOPRO_DOC_FILES ${plain})
    else()
      list(APPEND DRAVLOPRO_MAN_FILES ${plain})
    endif()
  endforeach()
  if(DRAVLOPRO_COMPRESSED)
    add_custom_target(dravlopro_dist_files ALL DEPENDS ${DRAVLOPRO_COMPRESSED})
  endif()

  install(FILES ${DRAVLOPRO_MAN_FILES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${DRAVLOPRO_DOC_FILES} DESTINATION ${CMAKE_INSTALL_DOCDIR})

  # bash-completion loads a completion by the name of the command.
  set(DRAVLOPRO_COMPLETION_DIR ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
  install(FILES ${DRAVLOPRO_DIST_DIR}/dravlopro.bash-completion
          DESTINATION ${DRAVLOPRO_COMPLETION_DIR} RENAME dravlopro)
  if(TARGET dravlopro-sim)
    install(FILES ${DRAVLOPRO_DIST_DIR}/dravlopro.bash-completion
            DESTINATION ${DRAVLOPRO_COMPLETION_DIR} RENAME dravlopro-sim)
  endif()
  install(FILES ${DRAVLOPRO_DIST_DIR}/dravlopro-gdb.bash-completion
          DESTINATION ${DRAVLOPRO_COMPLETION_DIR} RENAME dravlopro-gdb)
endif()

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  # Where udev looks for the rules that packages bring, under the prefix
  # (/usr/lib/udev/rules.d for the package); not a libdir such as lib64.
  install(FILES ${DRAVLOPRO_DIST_DIR}/60-dravlopro.rules DESTINATION lib/udev/rules.d)
endif()

# Tests of what gets installed; they run with the rest of the suite.
if(DRAVLOPRO_TESTS AND NOT CMAKE_CROSSCOMPILING AND UNIX)
  find_program(DRAVLOPRO_BASH bash)
  if(DRAVLOPRO_BASH)
    add_test(NAME BashCompletion
      COMMAND ${DRAVLOPRO_BASH} ${PROJECT_SOURCE_DIR}/tests/completion/completion_test.sh
              ${DRAVLOPRO_DIST_DIR}/dravlopro.bash-completion)
    set_tests_properties(BashCompletion PROPERTIES LABELS system)
    # The same with the bash-completion package's own helpers, where it is
    # installed.
    set(DRAVLOPRO_BASH_COMPLETION_SCRIPT /usr/share/bash-completion/bash_completion)
    if(EXISTS ${DRAVLOPRO_BASH_COMPLETION_SCRIPT})
      add_test(NAME BashCompletionWithPackage
        COMMAND ${DRAVLOPRO_BASH} ${PROJECT_SOURCE_DIR}/tests/completion/completion_test.sh
                ${DRAVLOPRO_DIST_DIR}/dravlopro.bash-completion ${DRAVLOPRO_BASH_COMPLETION_SCRIPT})
      set_tests_properties(BashCompletionWithPackage PROPERTIES LABELS system)
    endif()
  endif()
  # The manual pages format without a single groff warning.
  find_program(DRAVLOPRO_GROFF groff)
  if(DRAVLOPRO_GROFF)
    foreach(page IN LISTS DRAVLOPRO_MAN_PAGES)
      add_test(NAME ManPage.${page}
        COMMAND sh -c "warnings=$(\"$0\" -man -ww -z \"$1\" 2>&1) && [ -z \"$warnings\" ] || { echo \"$warnings\"; exit 1; }"
                ${DRAVLOPRO_GROFF} ${DRAVLOPRO_DIST_BINARY_DIR}/${page})
      set_tests_properties(ManPage.${page} PROPERTIES LABELS system)
    endforeach()
  endif()
endif()

# The Debian package.
set(CPACK_PACKAGE_NAME dravlopro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "dravlopro developers")
set(CPACK_PACKAGE_CONTACT ${DRAVLOPRO_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "program Vexa Cortex-M microcontrollers through a Dravlo Pro/Lite adapter")
set(CPACK_STRIP_FILES ON)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(CPACK_GENERATOR DEB)
elseif(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME dravlopro-${PROJECT_VERSION}-windows-x64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${DRAVLOPRO_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The long description; the summary above is its first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "dravlopro (Dravlo Pro Commander) programs, verifies and inspects Arm Cortex-M
microcontrollers of the Vexa family through a Dravlo Pro/Lite USB debug
adapter (a CMSIS-DAP HID device, USB 04d9:802f). Build scripts and production
lines run it with a list of commands; its exit status tells the result.
.
dravlopro-sim runs the same commands against a simulated bench of adapters
and targets, to try scripts without hardware.
.
dravlopro-gang runs one command line on every attached adapter at once.
.
dravlopro-gdb serves the GDB remote protocol over the adapter, so that gdb
(gdb-multiarch) or an IDE can debug the target and load its flash.
.
The package also holds the udev rule that lets the user at the seat (and the
group plugdev) open the adapter, the manual pages, the README and the bash
completion.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${DRAVLOPRO_DIST_DIR}/postinst ${DRAVLOPRO_DIST_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
