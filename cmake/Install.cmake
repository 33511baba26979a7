# Installation and the two Debian packages: the display server for a render
# PC and the console for the operator's PC. Each package carries its own copy
# of the shared libraries in a private folder, so the two can sit on one
# machine without owning the same files.
include(GNUInstallDirs)

set(sv_server_libdir ${CMAKE_INSTALL_LIBDIR}/solvane)
set(sv_console_libdir ${CMAKE_INSTALL_LIBDIR}/kestrane)
set(sv_shared_libs platform util hesper lintra velmar)

# The programs find their libraries relative to themselves, so an install
# under any prefix runs without LD_LIBRARY_PATH.
set_target_properties(solvane PROPERTIES INSTALL_RPATH "$ORIGIN/../${sv_server_libdir}")
set_target_properties(kestrane PROPERTIES INSTALL_RPATH "$ORIGIN/../${sv_console_libdir}")
set_target_properties(${sv_shared_libs} PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS solvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT solvane)
install(TARGETS ${sv_shared_libs} LIBRARY DESTINATION ${sv_server_libdir} COMPONENT solvane NAMELINK_SKIP)

install(TARGETS kestrane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT kestrane)
install(TARGETS ${sv_shared_libs} LIBRARY DESTINATION ${sv_console_libdir} COMPONENT kestrane NAMELINK_SKIP)
install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/defaultpic.jpg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/kestrane COMPONENT kestrane)
install(FILES ${CMAKE_SOURCE_DIR}/kestrane/app/kestrane.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT kestrane)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME displaywall)
set(CPACK_PACKAGE_VENDOR "Display wall project")
set(CPACK_PACKAGE_VERSION 1.0.0)
set(CPACK_PACKAGE_CONTACT "Display wall project <displaywall@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL solvane kestrane)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
# dpkg-shlibdeps names the Debian libraries the programs link; the project's
# own libraries are found in the build tree.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
set(CPACK_DEBIAN_SOLVANE_PACKAGE_NAME solvane)
set(CPACK_DEBIAN_SOLVANE_DESCRIPTION "Display server of the display wall\n Renders one render PC's outputs through the warp mesh and blending, takes\n the console's commands over TCP and keeps in step with its peers.")
# Mesa's drivers are loaded at run time, not linked.
set(CPACK_DEBIAN_SOLVANE_PACKAGE_DEPENDS "libgl1-mesa-dri")
set(CPACK_DEBIAN_KESTRANE_PACKAGE_NAME kestrane)
set(CPACK_DEBIAN_KESTRANE_DESCRIPTION "Operator console of the display wall\n Lays out display devices, corrects geometry, colour and edge blending,\n places media on a timeline and drives the display servers.")
# The console's texts are Chinese: a font that has them; its warp preview draws with Mesa.
set(CPACK_DEBIAN_KESTRANE_PACKAGE_DEPENDS "fonts-wqy-microhei, libgl1-mesa-dri")
include(CPack)

if(BUILD_TESTING)
  add_test(NAME install.programs_and_packages
           COMMAND ${CMAKE_SOURCE_DIR}/tools/netns-run ${CMAKE_SOURCE_DIR}/tools/install-test.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(install.programs_and_packages PROPERTIES LABELS e2e TIMEOUT 600)
endif()
