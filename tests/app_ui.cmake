# The dialog tests (tests/ui, tests/app) run the dialogs on a recording host
# (tests/ui/headless_host.*); tests/app replaces the camera library by a fake
# (tests/app/fake_camlib.*). The end-to-end tests (tests/e2e) run the built
# quillon on simulated cameras.
add_library(quillon_headless_host STATIC ${CMAKE_CURRENT_SOURCE_DIR}/ui/headless_host.cpp)
target_include_directories(quillon_headless_host PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/ui)
target_link_libraries(quillon_headless_host PUBLIC quillon_ui GTest::gtest)

if(TARGET app_tests)
  target_sources(app_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/app/fake_camlib.cpp)
  target_link_libraries(app_tests PRIVATE quillon_app quillon_headless_host)
endif()

if(TARGET ui_tests)
  target_link_libraries(ui_tests PRIVATE quillon_headless_host quillon_ui_front_ends)
endif()

if(TARGET e2e_tests)
  add_dependencies(e2e_tests quillon quillon_demo_firmware)
  target_link_libraries(e2e_tests PRIVATE quillon_tools_lib)
  target_compile_definitions(e2e_tests PRIVATE
    QUILLON_EXE="$<TARGET_FILE:quillon>"
    QUILLON_DEMO_FIRMWARE_NEW="${QUILLON_DEMO_FIRMWARE_NEW}"
    QUILLON_DEMO_FIRMWARE_OLD="${QUILLON_DEMO_FIRMWARE_OLD}"
    QUILLON_EMBEDDED_PACKAGE_IS_DEMO=$<BOOL:${QUILLON_EMBEDDED_PACKAGE_IS_DEMO}>)
endif()
