# The configuration file update, as root and as an unprivileged user (for
# whom a read-only file cannot be opened for writing, as on Windows).
lunko_test(test_config_file SOURCES test_config_file.cpp test_main.cpp)
lunko_test_run(test_config_file_unprivileged PROGRAM test_config_file USER 65534)

# Special folders, the Start Menu group and desktop shortcuts. The notices
# are the real message box, so the programs carry its dialog template (and
# the icon the resource script names); the glyph sheets of the payload make
# its screenshots readable. Each .lnk is parsed by Debian's lnkinfo.
get_filename_component(lunko_icon_dir "${INSTALLER_ICON}" DIRECTORY)
foreach(program test_shortcuts test_shortcuts_legacy)
  set(run_mode "")
  if(program STREQUAL test_shortcuts_legacy)
    set(run_mode NO_RUN)
  endif()
  lunko_test(${program} SOURCES ${program}.cpp test_shortcuts_support.cpp test_main.cpp
    RC ${CMAKE_SOURCE_DIR}/resources/installer.rc DEPENDS lunko_icons payload ${run_mode}
    LOCALE zh_CN)
  target_include_directories(${program} PRIVATE ${lunko_icon_dir})
endforeach()
# Version 3: NT 3.51 composes profiles\<user>, Windows 3.1 (Win32s) does not.
lunko_test_run(test_shortcuts_nt351 PROGRAM test_shortcuts_legacy
  WINVER "test_shortcuts_legacy.exe=nt351" ENV "LUNKO_EXPECT_NT=1")
lunko_test_run(test_shortcuts_win31 PROGRAM test_shortcuts_legacy
  WINVER "test_shortcuts_legacy.exe=win31" ENV "LUNKO_EXPECT_NT=0")
