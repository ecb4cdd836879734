# Whole installations with the real installer, one per Windows mode, each
# language among them: "answer language speech" says what the user picks.
# Then what else the system is like: its standard look, no CJK font in
# Wine's font list, or the High Contrast Black colours; whether the folders
# made are closed to other users (NT 5 and later); last the display's DPI
# (XP's large fonts and Windows 7's 125 %, 150 %, 200 %).
lunko_test(test_walk SOURCES test_walk.cpp test_shortcuts_support.cpp pixel_support.cpp test_main.cpp
  LIBS oleacc oleaut32 uuid
  DEPENDS installer NO_RUN)
foreach(case
    "win98;zh_CN;ok 1 ok;1;0;0;standard;0;96"
    "nt351;zh_TW;no 2 cancel;2;0;1;standard;0;96"
    "winxp;en_US;ok 0 cancel;0;0;0;standard;1;96"
    "win7;zh_CN;no 2 ok;1;1;0;no-cjk-font;1;96"
    "win10;zh_TW;ok 1 cancel;2;1;0;high-contrast-black;1;96"
    "winxp;en_US;ok 2 cancel;0;0;0;standard;1;120"
    "win7;zh_CN;no 1 cancel;1;1;0;standard;1;144"
    "win10;en_US;ok 0 ok;0;1;0;standard;1;192")
  list(GET case 0 version)
  list(GET case 1 locale)
  list(GET case 2 plan)
  list(GET case 3 language)
  list(GET case 4 registered)
  list(GET case 5 version3)
  list(GET case 6 condition)
  list(GET case 7 closed)
  list(GET case 8 dpi)
  set(run walk_${version})
  if(NOT dpi EQUAL 96)
    set(run walk_${version}_${dpi}dpi)
  endif()
  set(condition_env)
  if(condition STREQUAL "no-cjk-font")
    set(condition_env "FONTCONFIG_FILE=${CMAKE_CURRENT_SOURCE_DIR}/data/no-cjk-fonts.conf")
  elseif(condition STREQUAL "high-contrast-black")
    set(condition_env "LUNKO_COLOURS=high-contrast-black")
  endif()
  lunko_test_run(${run} PROGRAM test_walk WINVER "LunkoSetup.exe=${version}" LOCALE ${locale}
    ENV "LUNKO_DPI=${dpi}" "LUNKO_WALK=${plan}" "LUNKO_EXPECT_LANGUAGE=${language}"
        "LUNKO_EXPECT_REGISTERED=${registered}" "LUNKO_WALK_VERSION3=${version3}"
        "LUNKO_EXPECT_CLOSED=${closed}" ${condition_env}
    ARGS --gtest_filter=*FirstPageToTheLastNotice*)
endforeach()
# The folder box: what is refused, and an existing folder used as it is.
lunko_test_run(walk_folders PROGRAM test_walk ARGS --gtest_filter=*UsableFolder*)
# A drive too small for the product: refused before anything is written.
lunko_test_run(walk_small_drive PROGRAM test_walk ENV "LUNKO_SMALL_DRIVE=d:8m"
  ARGS --gtest_filter=*WithoutSpace*)
set_tests_properties(walk_small_drive PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
# The folder-text rule alone, under the Chinese code pages.
foreach(locale zh_CN zh_TW)
  lunko_test_run(walk_folders_${locale} PROGRAM test_walk LOCALE ${locale} ARGS --gtest_filter=FolderText.*)
endforeach()
# The whole installation by the keyboard alone, the pointer left where it is.
lunko_test_run(walk_keyboard PROGRAM test_walk WINVER "LunkoSetup.exe=winxp" LOCALE en_US
  ENV "LUNKO_WALK=ok 0 cancel" "LUNKO_EXPECT_LANGUAGE=0" "LUNKO_EXPECT_REGISTERED=0"
      "LUNKO_WALK_VERSION3=0" "LUNKO_EXPECT_CLOSED=1"
  ARGS --gtest_filter=*KeyboardAlone*)
# Unattended runs (/S), each in its own prefix, under Windows 7 and en_US: the
# default folder with no one at the desk (the all-users folders), a folder of
# its own, one under a parent a user owns, an old word base, a drive too
# small, a switch it does not know, a folder whose parent is missing, a
# drive's root (unsafe), the user's Start Menu and desktop under Chinese
# names, a program held open, two at once.
foreach(case "default;LUNKO_NO_SHELL=1" "folder" "user-parent" "word-base" "small-drive;LUNKO_SMALL_DRIVE=d:8m"
    "unknown-switch" "no-parent" "root" "chinese-folders" "held" "twice")
  list(POP_FRONT case run)
  lunko_test_run(walk_unattended_${run} PROGRAM test_walk LOCALE en_US
    ENV "LUNKO_UNATTENDED=${run}" "LUNKO_EXPECT_LANGUAGE=0" "LUNKO_EXPECT_REGISTERED=1"
        "LUNKO_WALK_VERSION3=0" "LUNKO_EXPECT_CLOSED=1" ${case}
    ARGS --gtest_filter=Unattended.*)
  set_tests_properties(walk_unattended_${run} PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
endforeach()
