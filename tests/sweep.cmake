# The dense interruption sweep of the firmware burn: a burn made to fail at
# nearly every one of its exchanges, once by a failing exchange and once by an
# unplugged camera. It takes minutes, so it is a program of its own
# (chip_sweep_tests, always built) that ctest runs under the label "sweep"
# only when asked for at configure time:
#   cmake -B build -DQUILLON_SWEEP_TESTS=ON && ctest --test-dir build -L sweep
# The chip tests run the same sweep with a few points per phase.
option(QUILLON_SWEEP_TESTS "Register the dense burn sweep with ctest (label sweep)" OFF)

if(TARGET chip_tests)
  add_executable(chip_sweep_tests ${CMAKE_CURRENT_SOURCE_DIR}/chip/burn_sweep_test.cpp)
  target_link_libraries(chip_sweep_tests PRIVATE quillon_testing GTest::gtest_main)
  target_compile_definitions(chip_sweep_tests PRIVATE QUILLON_DENSE_SWEEP)
  if(QUILLON_SWEEP_TESTS)
    add_test(NAME chip.BurnSweep.Dense COMMAND chip_sweep_tests)
    set_tests_properties(chip.BurnSweep.Dense PROPERTIES LABELS "chip;sweep" TIMEOUT 7200)
  endif()
endif()
