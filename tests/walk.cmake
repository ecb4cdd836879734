# Whole installations with the real installer, one per Windows mode, each
# language among them: "answer language speech" says what the user picks.
lunko_test(test_walk SOURCES test_walk.cpp test_shortcuts_support.cpp test_main.cpp
  LIBS oleacc oleaut32 uuid
  DEPENDS installer NO_RUN)
foreach(case
    "win98;zh_CN;ok 1 ok;1;0;0"
    "nt351;zh_TW;no 2 cancel;2;0;1"
    "winxp;en_US;ok 0 cancel;0;0;0"
    "win7;zh_CN;no 2 ok;1;1;0")
  list(GET case 0 version)
  list(GET case 1 locale)
  list(GET case 2 plan)
  list(GET case 3 language)
  list(GET case 4 registered)
  list(GET case 5 version3)
  lunko_test_run(walk_${version} PROGRAM test_walk WINVER "LunkoSetup.exe=${version}" LOCALE ${locale}
    ENV "LUNKO_WALK=${plan}" "LUNKO_EXPECT_LANGUAGE=${language}"
        "LUNKO_EXPECT_REGISTERED=${registered}" "LUNKO_WALK_VERSION3=${version3}"
    ARGS --gtest_filter=*FirstPageToTheLastNotice*)
endforeach()
# The folder box: what is refused, and an existing folder used as it is.
lunko_test_run(walk_folders PROGRAM test_walk ARGS --gtest_filter=*UsableFolder*)
# The whole installation by the keyboard alone, the pointer left where it is.
lunko_test_run(walk_keyboard PROGRAM test_walk WINVER "LunkoSetup.exe=winxp" LOCALE en_US
  ENV "LUNKO_WALK=ok 0 cancel" "LUNKO_EXPECT_LANGUAGE=0" "LUNKO_EXPECT_REGISTERED=0"
      "LUNKO_WALK_VERSION3=0"
  ARGS --gtest_filter=*KeyboardAlone*)
