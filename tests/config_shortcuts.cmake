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

# The install sequence over the build's whole payload, in the wizard dialog of
# the installer's template; the word-base question and the notices are
# answered through the real message box.
lunko_test(test_install_sequence
  SOURCES test_install_sequence.cpp test_shortcuts_support.cpp test_main.cpp
  RC ${CMAKE_SOURCE_DIR}/resources/installer.rc ${PAYLOAD_RC}
  LIBS comctl32 shlwapi
  DEPENDS payload lunko_icons)
target_include_directories(test_install_sequence PRIVATE ${lunko_icon_dir})
# The shortcut names follow the system language; a user who owns the folder
# replaces read-only files of an earlier run and of an old word base (Wine
# refuses to open a read-only file for writing only to such a user). (Wine
# gives an unprivileged user's profile no Start Menu folder, so that run
# leaves out the shortcut checks.)
foreach(case "zh_CN;1" "zh_TW;2")
  list(GET case 0 locale)
  list(GET case 1 language)
  lunko_test_run(test_install_sequence_${locale} PROGRAM test_install_sequence LOCALE ${locale}
    ENV "LUNKO_EXPECT_LANGUAGE=${language}" ARGS --gtest_filter=*SystemLanguage*)
endforeach()
lunko_test_run(test_install_sequence_unprivileged PROGRAM test_install_sequence USER 65534
  ARGS --gtest_filter=*EarlierInstallation*:*OptionalRow*:*OldWordBase*)
# A drive that fills during the installation, once at a small buffered file
# and once in the middle of the large ones; skipped, and shown as skipped,
# where no file system can be mounted.
# At 8 MB the new word base no longer fits beside the old one.
foreach(size 300k 8m)
  set(filter *DiskThatFills*)
  if(size STREQUAL 8m)
    set(filter *DiskThatFills*:*OldWordBase*)
  endif()
  lunko_test_run(test_install_sequence_full_disk_${size} PROGRAM test_install_sequence
    ENV "LUNKO_SMALL_DRIVE=d:${size}" ARGS --gtest_filter=${filter})
  set_tests_properties(test_install_sequence_full_disk_${size} PROPERTIES
    SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
endforeach()
