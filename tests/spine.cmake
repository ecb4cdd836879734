# Start-up: version flags and system language under the platforms and locales
# Wine can pretend.
lunko_test(test_platform SOURCES test_platform.cpp test_main.cpp NO_RUN)
foreach(case "win98;0 0 0" "nt351;1 1 0" "nt40;1 0 0" "winxp;1 0 0" "vista;1 0 1" "win7;1 0 1")
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
lunko_test(test_glyphs SOURCES test_glyphs.cpp test_main.cpp)

# The Enter rule, against real controls of each kind.
lunko_test(test_enter_rule SOURCES test_enter_rule.cpp test_main.cpp)
