# The real-camera backend: tests/linux/*_test.cpp against a temporary sysfs
# tree and fake device nodes, plus the helpers that build them.
quillon_test_dir(linux)
if(TARGET linux_tests)
  target_sources(linux_tests PRIVATE
    ${CMAKE_CURRENT_SOURCE_DIR}/linux/fake_uvc_system.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/linux/uvc_blobs.cpp)
endif()

# The attached cameras, through the shipped library; skips without a camera.
if(TARGET camlib)
  add_executable(linux_hardware_tests ${CMAKE_CURRENT_SOURCE_DIR}/linux/hardware/real_cameras.cpp)
  target_link_libraries(linux_hardware_tests PRIVATE camlib quillon_linux GTest::gtest_main)
  gtest_discover_tests(linux_hardware_tests TEST_PREFIX "hardware." PROPERTIES LABELS "hardware"
                       DISCOVERY_TIMEOUT 60)
endif()
