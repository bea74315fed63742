# The window, driven as a person would: the real quillon under a virtual X
# display (Xvfb) on a simulated camera, clicked and typed at with xdotool,
# photographed with ImageMagick. Screenshots and logs land in
# <build>/gui-artifacts. It skips (and says why) without Qt, without the tools
# or with a firmware package other than the demo one.
find_package(Python3 QUIET COMPONENTS Interpreter)
if(TARGET quillon AND Python3_Interpreter_FOUND)
  if(TARGET quillon_ui_qt)
    set(gui_qt_built 1)
  else()
    set(gui_qt_built 0)
  endif()
  add_test(NAME gui.window
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/gui/quillon_window_test.py
            --quillon $<TARGET_FILE:quillon>
            --qt-built ${gui_qt_built}
            --demo-package $<BOOL:${QUILLON_EMBEDDED_PACKAGE_IS_DEMO}>
            --demo-scenario ${PROJECT_SOURCE_DIR}/examples/demo/cameras.json
            --old-image ${QUILLON_DEMO_FIRMWARE_OLD}
            --new-image ${QUILLON_DEMO_FIRMWARE_NEW}
            --old-day-ver ${QUILLON_DEMO_DAY_VER_OLD}
            --out ${CMAKE_BINARY_DIR}/gui-artifacts)
  set_tests_properties(gui.window PROPERTIES LABELS gui SKIP_RETURN_CODE 77 TIMEOUT 300)
endif()

# The window front end's host itself, on Qt's offscreen platform.
if(TARGET quillon_ui_qt)
  quillon_test_dir(gui)
  target_link_libraries(gui_tests PRIVATE quillon_ui_qt)
endif()
