# Long use without leaks and faults survived: whole-program tests from
# outside, in fresh prefixes like the other whole-program tests.
#   quality_test     the test program (soak_test.cpp, faults_test.cpp)
#   velo_probe       the probe library the soak loads into the program to
#                    count what only the program can see (soak_test.cpp
#                    built with VELO_PROBE_LIBRARY)
# The soak's long form is ./dev soak (tests/ui/soak.sh).
add_library(velo_probe SHARED soak_test.cpp)
target_compile_definitions(velo_probe PRIVATE VELO_PROBE_LIBRARY)
set_target_properties(velo_probe PROPERTIES PREFIX "" OUTPUT_NAME velo_probe)
# Exports by their plain names on i686 too (no @n decoration).
target_link_options(velo_probe PRIVATE -Wl,--kill-at)

add_executable(quality_test soak_test.cpp faults_test.cpp)
target_link_libraries(quality_test PRIVATE velo_uidriver gtest_main ws2_32)
target_link_options(quality_test PRIVATE -mconsole)
add_dependencies(quality_test VELODvr velo_probe)

# velo_quality_test(NAME FILTER): one CTest entry, with a prefix and a display of its own.
function(velo_quality_test name filter)
  add_test(NAME ${name} COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/fresh-prefix $<TARGET_FILE:quality_test>
           --gtest_filter=${filter})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 LABELS "ui;quality")
endfunction()
velo_quality_test(quality_measure "Measurement.*")
velo_quality_test(quality_soak_dialog "Soak.LanguageSwitchesAndSkinButtons")
velo_quality_test(quality_soak_book "Soak.AddressBookAdditionsAndDeletions:Soak.ViewerOpenings")
velo_quality_test(quality_faults_file "SettingsFileFaults.*")
velo_quality_test(quality_faults_install "InstallerFaults.*")
velo_quality_test(quality_faults_input "AddressInput.*")
