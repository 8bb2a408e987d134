# tovrin-smooth.exe under wine, driven by the native build's test programs: the reference cases
# sample for sample, and the same files as the Linux binary for the same commands. The native
# build (TOVRIN_NATIVE_BUILD_DIR) supplies both the programs and the Linux binary.
set(TOVRIN_NATIVE_BUILD_DIR "" CACHE PATH
    "Native build directory, whose test programs check the Windows build's results")

# Nothing but DLLs every Windows installation has.
add_test(NAME exe_imports
         COMMAND ${CMAKE_COMMAND} -DMODULE=$<TARGET_FILE:tovrin-smooth> -DOBJDUMP=${CMAKE_OBJDUMP}
                 -DEXPORTS=none -P ${PROJECT_SOURCE_DIR}/tests/wine/check_module.cmake)
set_tests_properties(exe_imports PROPERTIES LABELS "cli;exe")

if(NOT TOVRIN_NATIVE_BUILD_DIR OR NOT WINE_PROGRAM)
    message(STATUS "TOVRIN_NATIVE_BUILD_DIR or wine missing: tovrin-smooth.exe is not tested")
    return()
endif()
set(native_tests ${TOVRIN_NATIVE_BUILD_DIR}/cli/tests)
set(exe_environment "TOVRIN_SMOOTH_EXE=$<TARGET_FILE:tovrin-smooth>"
                    "TOVRIN_SMOOTH_LAUNCHER=${WINE_PROGRAM}" "WINEDEBUG=-all")
# TIFF goes through OpenImageIO, which the Windows build does not have.
add_test(NAME exe_golden_cases
         COMMAND ${native_tests}/cli_golden_cases_tests --gtest_filter=-*Tiff*)
# The command-line tests that hold on every system: not those of other formats, of POSIX
# messages and permissions, or of line ends (the .exe writes CRLF to a console, as it should).
add_test(NAME exe_command_line
         COMMAND ${native_tests}/cli_command_line_tests
                 "--gtest_filter=Sequences.*:Threads.*:SixteenBit.*:FailingFrames.*:Options.*:OutputFiles.AFailedRun*:FileFormats.Indexed*:SampleCel.*")
add_test(NAME exe_parity COMMAND ${native_tests}/cli_exe_parity_tests)
set_tests_properties(exe_golden_cases exe_command_line exe_parity PROPERTIES
    LABELS "cli;exe" TIMEOUT 600 ENVIRONMENT "${exe_environment}")
