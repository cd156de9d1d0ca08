# The Debian package: the programs, their manual pages, the desktop entry and icon, the
# README and the copyright file. `./scripts/package` builds it with CPack.
include(GNUInstallDirs)

set(ARDEL_MAINTAINER "Ardel developers <ardel@ardel-tool.org>" CACHE STRING "Maintainer field of the package")

set(ARDEL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/ardel)
set(ARDEL_GZ_DIR ${CMAKE_BINARY_DIR}/package-files)
file(MAKE_DIRECTORY ${ARDEL_GZ_DIR})

# Debian wants manual pages and the changelog compressed, without a time stamp in them,
# so that the same sources give the same package.
function(ardel_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND gzip -9nc ${source} > ${output}
    DEPENDS ${source} VERBATIM)
endfunction()

set(ARDEL_MAN_PAGES ardel.1 ardel-bus.1)
if(EXISTS ${PROJECT_SOURCE_DIR}/data/man/ardel-cli.1 AND TARGET ardel-cli)
  list(APPEND ARDEL_MAN_PAGES ardel-cli.1)
endif()
set(ARDEL_GZ_FILES)
foreach(page ${ARDEL_MAN_PAGES})
  ardel_gzip(${PROJECT_SOURCE_DIR}/data/man/${page} ${ARDEL_GZ_DIR}/${page}.gz)
  list(APPEND ARDEL_GZ_FILES ${ARDEL_GZ_DIR}/${page}.gz)
  install(FILES ${ARDEL_GZ_DIR}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/data/changelog.in ${ARDEL_GZ_DIR}/changelog @ONLY)
ardel_gzip(${ARDEL_GZ_DIR}/changelog ${ARDEL_GZ_DIR}/changelog.gz)
list(APPEND ARDEL_GZ_FILES ${ARDEL_GZ_DIR}/changelog.gz)
add_custom_target(ardel_package_files ALL DEPENDS ${ARDEL_GZ_FILES})

install(FILES ${ARDEL_GZ_DIR}/changelog.gz DESTINATION ${ARDEL_DOC_DIR})
# ardel-cli as a service, one instance per serial device; the service manager restarts
# it and the journal keeps its output.
if(TARGET ardel-cli)
  install(FILES "data/ardel-cli@.service" DESTINATION lib/systemd/system)
endif()
install(FILES data/copyright DESTINATION ${ARDEL_DOC_DIR})
install(FILES README.md DESTINATION ${ARDEL_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ardel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${ARDEL_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "operator and test tool for an RS485 station bus")
# CPack puts the summary first and indents each line of this by one blank.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Ardel watches every telegram on an RS485 link to up to sixteen bus
stations in a coloured log, sends commands through a queue that repeats
them and times them out, keeps the stations' base IDs and input filters,
commands the stations and reacts to received telegrams by rules.
.
The package holds the window (ardel), the same program without a window
for scripts and headless machines (ardel-cli) and a simulated station
bus for trying Ardel without hardware (ardel-bus).")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Only what the install rules above name, with root as owner.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)

if(ARDEL_BUILD_TESTS AND ARDEL_BUILD_UI)
  add_test(NAME PackageTest.BuildsUnpacksAndPassesLintian
    COMMAND ${PROJECT_SOURCE_DIR}/tests/package/package_test.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(PackageTest.BuildsUnpacksAndPassesLintian PROPERTIES TIMEOUT 300)
endif()
