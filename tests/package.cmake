# The firmware package tests: tests/app/fw_package_test.cpp and tests/tools/.
# Both test programs link the package resource, as the application does, so
# they can check what the build embeds.
if(TARGET app_tests)
  target_link_libraries(app_tests PRIVATE quillon_app quillon_fw_resource)
  target_compile_definitions(app_tests PRIVATE
    QUILLON_EMBEDDED_PACKAGE="${QUILLON_EMBEDDED_PACKAGE}")
endif()

if(TARGET tools_tests)
  if(QUILLON_EMBEDDED_PACKAGE_IS_DEMO)
    set(is_demo 1)
  else()
    set(is_demo 0)
  endif()
  target_link_libraries(tools_tests PRIVATE quillon_app quillon_fw_resource)
  target_compile_definitions(tools_tests PRIVATE
    QUILLON_PACK_EXE="$<TARGET_FILE:quillon-pack>"
    QUILLON_DEMO_IMAGE_EXE="$<TARGET_FILE:quillon-demo-image>"
    QUILLON_DEMO_FIRMWARE_NEW="${QUILLON_DEMO_FIRMWARE_NEW}"
    QUILLON_DEMO_FIRMWARE_OLD="${QUILLON_DEMO_FIRMWARE_OLD}"
    QUILLON_DEMO_PACKAGE="${QUILLON_DEMO_PACKAGE}"
    QUILLON_EMBEDDED_PACKAGE="${QUILLON_EMBEDDED_PACKAGE}"
    QUILLON_EMBEDDED_PACKAGE_IS_DEMO=${is_demo}
    QUILLON_DEMO_FIRMWARE_ID="${QUILLON_DEMO_FIRMWARE_ID}"
    QUILLON_DEMO_CODE_VER="${QUILLON_DEMO_CODE_VER}"
    QUILLON_DEMO_CUS_VER="${QUILLON_DEMO_CUS_VER}"
    QUILLON_DEMO_CUSTOMER="${QUILLON_DEMO_CUSTOMER}"
    QUILLON_DEMO_DAY_VER_NEW="${QUILLON_DEMO_DAY_VER_NEW}"
    QUILLON_DEMO_DAY_VER_OLD="${QUILLON_DEMO_DAY_VER_OLD}")
  add_dependencies(tools_tests quillon-pack quillon-demo-image quillon_demo_firmware)
endif()
