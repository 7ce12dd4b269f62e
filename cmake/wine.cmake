# Running the Windows build under Wine from the Linux build: the Wine tests
# (linklib/tests, cli/tests) and bench_wine. They exist only where a mingw64
# build tree is named (the default preset names build-mingw64) and Wine is
# installed; wine64 is called directly, never the `wine` launcher, which
# would try the 32-bit loader.
include_guard(GLOBAL)

set(VESKA_WINDOWS_BUILD "" CACHE PATH "A mingw64 build tree whose Windows programs the Wine tests run")
find_program(VESKA_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(VESKA_WINESERVER wineserver PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(VESKA_WINDOWS_BUILD AND VESKA_WINE64 AND VESKA_WINESERVER)
  set(VESKA_WINE ON)
else()
  set(VESKA_WINE OFF)
endif()

# Where the Windows build is and how to start Wine, for a program that runs
# them; `native_define` names the native program of `native_target` beside.
function(veska_wine_definitions target native_define native_target)
  target_compile_definitions(${target} PRIVATE
    VESKA_WINDOWS_BUILD="${VESKA_WINDOWS_BUILD}"
    VESKA_WINE64="${VESKA_WINE64}"
    VESKA_WINESERVER="${VESKA_WINESERVER}"
    ${native_define}="$<TARGET_FILE:${native_target}>")
  add_dependencies(${target} ${native_target})
endfunction()

# A Wine test program (linklib/tests/wine_harness.h) as one ctest entry
# `test_name`: each entry boots a Wine prefix (about 8 s), so the program's
# cases share one.
function(veska_add_wine_test target source test_name timeout native_define native_target)
  add_executable(${target} ${source})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/linklib/tests)
  target_link_libraries(${target} PRIVATE htsim_testing GTest::gtest)
  veska_wine_definitions(${target} ${native_define} ${native_target})
  add_test(NAME ${test_name} COMMAND ${target})
  set_tests_properties(${test_name} PROPERTIES TIMEOUT ${timeout} LABELS wine RUN_SERIAL TRUE)
endfunction()
