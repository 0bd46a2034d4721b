# Shell integration: registration and request grammar against a fake platform,
# the desktop registration and request channel of free desktops, two editors
# talking to each other, and the Debian package.
hwt_add_test(tst_shellregistration SOURCES shell/tst_shellregistration.cpp LIBRARIES hwt_core)
if(UNIX AND NOT APPLE)
  hwt_add_test(tst_shelldesktop SOURCES shell/tst_shelldesktop.cpp LIBRARIES hwt_core Qt5::Network)
endif()

if(UNIX AND NOT APPLE)
  hwt_add_test(tst_shellinstance SOURCES shell/tst_shellinstance.cpp)
  target_compile_definitions(tst_shellinstance PRIVATE HULLWRIGHT_BINARY="$<TARGET_FILE:hullwright>"
    HULLWRIGHT_CLI="$<TARGET_FILE:hullwright-cli>" HWT_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_dependencies(tst_shellinstance hullwright hullwright-cli hwt_exporters)
  set_tests_properties(tst_shellinstance PROPERTIES TIMEOUT 300)
endif()

# Builds the .deb from this tree, installs it, runs the installed programs and
# removes it again; skipped unless run as root with dpkg.
if(UNIX AND NOT APPLE)
  hwt_add_test(tst_package SOURCES shell/tst_package.cpp LIBRARIES hwt_core)
  target_compile_definitions(tst_package PRIVATE
    HWT_CPACK="${CMAKE_CPACK_COMMAND}" HWT_BUILD_DIR="${CMAKE_BINARY_DIR}" HWT_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_dependencies(tst_package hullwright hullwright-cli hwt_exporters)
  set_tests_properties(tst_package PROPERTIES TIMEOUT 900 RUN_SERIAL TRUE)
endif()
