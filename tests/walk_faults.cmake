# Faults met during a whole installation.
#
# A damaged payload: test builds of the installer whose payload is damaged as
# a bad download or disk would damage it - a stream cut short, one whose
# Adler-32 does not match, and sound streams that inflate one byte past the
# buffer they are read into ("id=damage" as tools/damagepayload.cpp takes it).
#   optional  optional rows (an Adler-32, past 16,777,216 bytes), the English
#             agreement (past 65,535) and the speech package (cut): all skipped
#   required  a required row (cut): the failure notice; both agreement texts
#             (cut, an Adler-32) skipped
#   sheets    glyph sheets past 307,200 bytes: exit code 1 before any window
function(damaged_installer variant)
  set(dir ${CMAKE_BINARY_DIR}/payload-damaged-${variant})
  add_custom_command(
    OUTPUT ${dir}/payload.rc
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${LUNKO_DAMAGEPAYLOAD} ${PAYLOAD_RC} ${dir} ${ARGN}
    DEPENDS ${PAYLOAD_RC} ${LUNKO_DAMAGEPAYLOAD}
    COMMENT "Damaging the payload for installer_damaged_${variant}"
    VERBATIM)
  lunko_installer(installer_damaged_${variant} ${dir}/payload.rc)
endfunction()

foreach(case
    "optional;173=adler 187=zeros:16777217 161=zeros:65536 1029=truncated;173 187;*SkipsDamagedOptional*"
    "required;116=truncated 124=truncated 161=adler;116;*FailsAtADamagedRequired*")
  list(GET case 0 variant)
  list(GET case 1 damages)
  list(GET case 2 rows)
  list(GET case 3 filter)
  separate_arguments(damages)
  damaged_installer(${variant} ${damages})
  add_dependencies(test_walk installer_damaged_${variant})
  lunko_test_run(walk_damaged_${variant} PROGRAM test_walk ENV "LUNKO_DAMAGED_ROWS=${rows}"
    ARGS --gtest_filter=${filter})
  set_property(TEST walk_damaged_${variant} PROPERTY ENVIRONMENT_MODIFICATION
    "LUNKO_INSTALLER=set:$<TARGET_FILE:installer_damaged_${variant}>")
endforeach()

# The last required row (Tavelorn.exe) cut short, met by an upgrade after
# every earlier row is staged: the earlier installation stays whole.
damaged_installer(late 109=truncated)
add_dependencies(test_install_sequence installer_damaged_late)
lunko_test_run(test_install_sequence_damaged_late PROGRAM test_install_sequence
  ENV "LUNKO_DAMAGED_INSTALLER=$<TARGET_FILE:installer_damaged_late>" ARGS --gtest_filter=*OldWordBase*)

damaged_installer(sheets 110=zeros:307201)
add_dependencies(test_installer_start installer_damaged_sheets)
lunko_test_run(installer_start_damaged_sheets PROGRAM test_installer_start
  ARGS --gtest_filter=*GlyphSheetsDoNotInflate*)
set_property(TEST installer_start_damaged_sheets PROPERTY ENVIRONMENT_MODIFICATION
  "LUNKO_BROKEN_SHEETS_INSTALLER=set:$<TARGET_FILE:installer_damaged_sheets>"
  "LUNKO_SHORT_SHEETS_INSTALLER=set:$<TARGET_FILE:installer_damaged_sheets>")

# Someone else's files: a folder and read-only files of another owner, met by
# an unprivileged user (as root, Wine writes over read-only files).
lunko_test_run(walk_foreign_files PROGRAM test_walk USER 65534
  ENV "LUNKO_FOREIGN=Locked/ Lunko/fccdic.bin Lunko/Tavelorn.exe"
  ARGS --gtest_filter=*MayNotWrite*)

# Files that cannot be written, named in the notice with the reason: a program
# held open by a running program (required, then optional), the pinyin server
# of an earlier installation running, and a drive with room for everything
# when Install is pressed that the walk fills meanwhile.
# The longest file name and the word base, under a Chinese locale's wider
# one-byte font.
foreach(fault held-required held-optional held-long-name held-word-base server-running disk-fills)
  set(drive)
  set(locale en_US)
  if(fault STREQUAL disk-fills)
    set(drive "LUNKO_SMALL_DRIVE=d:64m")
  elseif(fault MATCHES "long-name|word-base")
    set(locale zh_CN)
  endif()
  lunko_test_run(walk_${fault} PROGRAM test_walk LOCALE ${locale} ENV "LUNKO_WRITE_FAULT=${fault}" ${drive}
    ARGS --gtest_filter=*FileCannotBeWritten*)
  set_tests_properties(walk_${fault} PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
endforeach()
