# The library as C callers see it: the header compiles as C99, the program links
# the shared library and enumerates a simulated camera.
add_executable(camlib_c_test ${CMAKE_CURRENT_SOURCE_DIR}/c/camlib_c_test.c)
set_target_properties(camlib_c_test PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
target_compile_options(camlib_c_test PRIVATE -pedantic -Werror)
target_link_libraries(camlib_c_test PRIVATE camlib)
add_test(NAME camlib.c_program COMMAND camlib_c_test)
set_tests_properties(camlib.c_program PROPERTIES LABELS "camlib"
  ENVIRONMENT "QUILLON_SIMULATOR=${CMAKE_CURRENT_SOURCE_DIR}/data/c_scenario")

# Only the ten Cam* functions leave the library.
add_test(NAME camlib.exports
  COMMAND ${CMAKE_COMMAND} -DLIB=$<TARGET_FILE:camlib> -P ${CMAKE_CURRENT_SOURCE_DIR}/c/check_exports.cmake)
set_tests_properties(camlib.exports PROPERTIES LABELS "camlib")
