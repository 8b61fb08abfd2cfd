# What `cmake --install` puts under the prefix, and the Debian packages `cpack -G DEB` makes
# of it.
#
# Two install components, which are also the two packages:
#   runtime  the libraries (by their SONAME), the programs, the model profile, man pages,
#            bash completion and the connection manager's units (package `qwbdcawm`)
#   dev      headers, the unversioned library links, pkg-config files and the CMake package
#            (package `qwbdcawm-dev`)
# Libraries hosts link (libwincompat, librapi) and the libraries loaded by file name (the
# component and the error reporter, which the registry store leads to; the lunar library,
# which the component loads as "ConvLunar.dll") all carry SONAME libX.so.1. The component and
# the error reporter are registered by their SONAME file, so the runtime package works
# without the -dev links; the lunar library is loaded by its plain name, so its plain link
# belongs to the runtime package.
include(CMakePackageConfigHelpers)

set(QWB_SOVERSION 1)
set(QWB_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/QWBDCAWM)
set(QWB_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
# pkg-config files name their prefix relative to their own folder: the tree can be moved.
file(RELATIVE_PATH QWB_PREFIX_FROM_PCDIR ${CMAKE_INSTALL_PREFIX}/${QWB_PKGCONFIG_DIR}
     ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" QWB_PREFIX_FROM_PCDIR "${QWB_PREFIX_FROM_PCDIR}")

foreach(lib wincompat rapi QWBDCAWM ErrorReport ConvLunar)
  set_target_properties(${lib} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${QWB_SOVERSION}
                                          INSTALL_RPATH "$ORIGIN")
endforeach()
foreach(tool qwbdcawm qwbdcawm-emu regsvr)
  set_target_properties(${tool} PROPERTIES INSTALL_RPATH "$ORIGIN/${QWB_LIBDIR_FROM_BINDIR}")
endforeach()

# The headers a host compiles against; the build uses the same folder.
target_include_directories(wincompat INTERFACE $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include>
                                               $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
# QWBDCAWM::qwbdcawm: what a host of the component uses: the interface headers and the COM
# runtime that CoCreateInstance and BSTR/VARIANT come from.
add_library(qwbdcawm_sdk INTERFACE)
set_target_properties(qwbdcawm_sdk PROPERTIES EXPORT_NAME qwbdcawm)
target_link_libraries(qwbdcawm_sdk INTERFACE wincompat)
set_target_properties(QWBDCAWM PROPERTIES EXPORT_NAME component)

install(TARGETS wincompat rapi QWBDCAWM ErrorReport qwbdcawm_sdk
        EXPORT QWBDCAWMTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
install(TARGETS ConvLunar LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime)
install(TARGETS qwbdcawm qwbdcawm-emu regsvr RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT runtime)

# Public headers: the component's interfaces, the stand-ins a host calls and the error
# reporter's class. The test hooks and the picture calls (linked into the component only)
# stay in the source tree.
install(DIRECTORY include/qwbdcawm include/errorreport DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT dev)
install(DIRECTORY include/wincompat DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev
        PATTERN "*testhooks.h" EXCLUDE PATTERN "gdiplus.h" EXCLUDE)

# The connection manager's system user: systemd-sysusers reads the folder at boot (under the
# prefix /usr), and the Debian package's postinst creates the user from this very file.
set(QWB_SYSUSERS_DIR "lib/sysusers.d" CACHE STRING "sysusers.d folder (relative: under the prefix)")
if(IS_ABSOLUTE "${QWB_SYSUSERS_DIR}")
  set(QWB_SYSUSERS_FILE "${QWB_SYSUSERS_DIR}/qwbdcawm.conf")
else()
  set(QWB_SYSUSERS_FILE "${CMAKE_INSTALL_PREFIX}/${QWB_SYSUSERS_DIR}/qwbdcawm.conf")
endif()
install(FILES ${CMAKE_BINARY_DIR}/connectd/qwbdcawm.sysusers DESTINATION ${QWB_SYSUSERS_DIR}
        RENAME qwbdcawm.conf COMPONENT runtime)

install(FILES link/WMModelProfile.xml DESTINATION ${QWB_DATA_SUBDIR} COMPONENT runtime)
# bash-completion loads a command's completion from the file of the command's name; one
# script serves both tools.
foreach(tool qwbdcawm qwbdcawm-emu)
  install(FILES host/completion/qwbdcawm.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME ${tool}
          COMPONENT runtime)
endforeach()
if(QWB_HELP2MAN)
  # Installed compressed, as Debian wants man pages.
  find_program(QWB_GZIP gzip REQUIRED)
  set(pages)
  foreach(tool qwbdcawm qwbdcawm-emu)
    set(page ${CMAKE_BINARY_DIR}/man/${tool}.1)
    add_custom_command(OUTPUT ${page}.gz COMMAND ${QWB_GZIP} -9nkf ${page} DEPENDS ${page}
                       VERBATIM)
    list(APPEND pages ${page}.gz)
  endforeach()
  add_custom_target(man-gz ALL DEPENDS ${pages})
  add_dependencies(man-gz qwbdcawm-man qwbdcawm-emu-man)
  install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
endif()

# pkg-config: wincompat (the COM runtime and Win32 stand-ins), rapi (the Remote API client),
# qwbdcawm (a host of the component; `component` names the server library to register).
set(QWB_PC_COMPONENT "\${libdir}/$<TARGET_SONAME_FILE_NAME:QWBDCAWM>")
set(QWB_PC_ERRORREPORT "\${libdir}/$<TARGET_SONAME_FILE_NAME:ErrorReport>")
foreach(pc wincompat rapi qwbdcawm)
  configure_file(cmake/${pc}.pc.in ${CMAKE_BINARY_DIR}/pkgconfig/${pc}.pc.configured @ONLY)
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/pkgconfig/${pc}.pc
       INPUT ${CMAKE_BINARY_DIR}/pkgconfig/${pc}.pc.configured)
  install(FILES ${CMAKE_BINARY_DIR}/pkgconfig/${pc}.pc DESTINATION ${QWB_PKGCONFIG_DIR}
          COMPONENT dev)
endforeach()

# find_package(QWBDCAWM): QWBDCAWM::qwbdcawm, QWBDCAWM::wincompat, QWBDCAWM::rapi, and the
# server libraries QWBDCAWM::component and QWBDCAWM::ErrorReport (for their paths).
install(EXPORT QWBDCAWMTargets NAMESPACE QWBDCAWM:: DESTINATION ${QWB_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(cmake/QWBDCAWMConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/cmake/QWBDCAWMConfig.cmake
                              INSTALL_DESTINATION ${QWB_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/cmake/QWBDCAWMConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/cmake/QWBDCAWMConfig.cmake
              ${CMAKE_BINARY_DIR}/cmake/QWBDCAWMConfigVersion.cmake
        DESTINATION ${QWB_CMAKE_DIR} COMPONENT dev)

# Debian packages. The package installs where the tree was configured to install (configure
# with -DCMAKE_INSTALL_PREFIX=/usr for a system package), so that every path baked into the
# connection manager's units agrees with where the files land.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qwbdcawm)
set(CPACK_PACKAGE_VENDOR "Tolvane")
set(CPACK_PACKAGE_CONTACT "QWBDCAWM maintainers <qwbdcawm@tolvane.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Windows Mobile phone data component, RAPI client and tools")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
# Absolute destinations (/etc under the prefix /usr) are staged through DESTDIR.
set(CPACK_SET_DESTDIR ON)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME qwbdcawm)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "QWBDCAWM for Linux: the phone data component, its COM runtime and Remote API client
 The in-process component through which a host reads and writes a Windows Mobile phone's
 contacts, calendar, tasks, messages and files, the command-line host qwbdcawm, the phone
 emulator qwbdcawm-emu, regsvr and the connection manager of USB phones.")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME qwbdcawm-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "qwbdcawm (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_DEV_DESCRIPTION
    "QWBDCAWM for Linux: headers, pkg-config files and CMake package for hosts
 What a host compiles and links against to use the phone data component through
 CoCreateInstance: the interface headers, libwincompat and librapi.")
# The postinst creates the units' system user from the package's sysusers.d file.
configure_file(cmake/deb-postinst.in ${CMAKE_BINARY_DIR}/debian/postinst @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian/postinst)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "adduser | systemd")
# The manager's configuration in /etc is the admin's: dpkg keeps their edits on upgrade.
if(IS_ABSOLUTE "${CMAKE_INSTALL_SYSCONFDIR}" OR CMAKE_INSTALL_FULL_SYSCONFDIR STREQUAL "/etc")
  file(WRITE ${CMAKE_BINARY_DIR}/debian/conffiles
       "${CMAKE_INSTALL_FULL_SYSCONFDIR}/qwbdcawm/connectd.conf\n")
  list(APPEND CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian/conffiles)
endif()
include(CPack)
