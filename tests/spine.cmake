# Start-up: version flags and system language under the platforms and locales
# Wine can pretend.
lunko_test(test_platform SOURCES test_platform.cpp test_main.cpp NO_RUN)
foreach(case "win98;0 0 0 0" "nt351;1 1 0 0" "nt40;1 0 0 0" "win2k;1 0 0 1" "winxp;1 0 0 1"
    "vista;1 0 1 1" "win7;1 0 1 1")
  list(GET case 0 version)
  list(GET case 1 flags)
  lunko_test_run(platform_flags_${version} PROGRAM test_platform
    WINVER "test_platform.exe=${version}" ENV "LUNKO_EXPECT_FLAGS=${flags}")
endforeach()
foreach(case "zh_CN;1" "zh_TW;2" "zh_HK;2" "zh_SG;1" "en_US;0")
  list(GET case 0 locale)
  list(GET case 1 language)
  lunko_test_run(system_language_${locale} PROGRAM test_platform
    LOCALE ${locale} ENV "LUNKO_EXPECT_LANGUAGE=${language}")
endforeach()

# The renderer: glyph lookup, the shipped sheets against GNU Unifont, and
# measuring and drawing on memory DCs.
lunko_test(test_glyphs SOURCES test_glyphs.cpp pixel_support.cpp test_main.cpp)

# The Enter rule, against real controls of each kind.
lunko_test(test_enter_rule SOURCES test_enter_rule.cpp test_main.cpp)

# Extraction of payload resources into files, as root and as an unprivileged
# user (for whom read-only files behave as on Windows).
lunko_pack_payload(extract_payload ${CMAKE_CURRENT_SOURCE_DIR}/data/extract.list
  ${CMAKE_CURRENT_SOURCE_DIR}/data/extract ${CMAKE_BINARY_DIR}/payload-extract)
set_source_files_properties(${extract_payload_RC} PROPERTIES GENERATED TRUE)
lunko_test(test_extract SOURCES test_extract.cpp test_main.cpp
  RC ${extract_payload_RC} data/broken.rc DEPENDS extract_payload)
target_include_directories(test_extract PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/data)
lunko_test_run(test_extract_unprivileged PROGRAM test_extract USER 65534
  ARGS --gtest_filter=*Replaces*:*Twice*:*Explicit*:*Empty*:*RequestedAttributes*)

# The built installer: its file and its start.
lunko_installer(installer_broken_sheets ${CMAKE_CURRENT_SOURCE_DIR}/data/broken-sheets.rc)
lunko_installer(installer_short_sheets ${CMAKE_CURRENT_SOURCE_DIR}/data/short-sheets.rc)
foreach(variant installer_broken_sheets installer_short_sheets)
  target_include_directories(${variant} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/data)
endforeach()
lunko_test(test_installer_file
  # The payload list is read with the tools' own reader: one place knows its format.
  SOURCES test_installer_file.cpp test_main.cpp ${CMAKE_SOURCE_DIR}/tools/payloadlist.cpp
  DEPENDS installer
  ENV "LUNKO_VERSION=${PROJECT_VERSION}")
lunko_test(test_installer_start SOURCES test_installer_start.cpp test_main.cpp
  DEPENDS installer installer_broken_sheets installer_short_sheets
  ENV "LUNKO_BROKEN_SHEETS_INSTALLER=$<TARGET_FILE:installer_broken_sheets>"
      "LUNKO_SHORT_SHEETS_INSTALLER=$<TARGET_FILE:installer_short_sheets>")
# One installer at a time, also where the name has no Global\ prefix.
lunko_test_run(installer_start_second_win98 PROGRAM test_installer_start WINVER "LunkoSetup.exe=win98"
  ARGS --gtest_filter=*SecondStart*)
