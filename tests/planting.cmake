# DLL planting: the installer, started from a folder where DLLs named like
# system DLLs were saved, must load none of them (issue 10, "DLL planting").
add_library(planted_dll SHARED planting/planted_dll.c)
set_target_properties(planted_dll PROPERTIES PREFIX "" OUTPUT_NAME planted)
target_link_options(planted_dll PRIVATE -Wl,--kill-at -s)
add_executable(planting_probe WIN32 planting/planting_probe.cpp)
target_link_libraries(planting_probe PRIVATE lunko_core)
target_include_directories(planting_probe PRIVATE ${CMAKE_SOURCE_DIR})
# DLLs that the installer, its windows, the common dialog and the shell-link
# object may load by name and that are not KnownDLLs. Left out: those Wine's
# own start-up chain loads before any code of the program runs (version.dll,
# imm32.dll and the like), against which no program can protect itself.
set(planted comctl32 uxtheme dwmapi propsys userenv setupapi apphelp oleacc cryptbase
  msimg32 shfolder riched20 riched32 winmm profapi ntmarta cryptsp msls31 iertutil linkinfo
  ntshrui cscapi srvcli wtsapi32 secur32 sspicli mpr netapi32 msctf textinputframework
  explorerframe)
list(JOIN planted "," planted_names)
lunko_test(test_dll_planting SOURCES planting/test_dll_planting.cpp test_main.cpp
  DEPENDS installer planted_dll planting_probe
  ENV "LUNKO_PLANTED_DLL=$<TARGET_FILE:planted_dll>"
      "LUNKO_PLANTING_PROBE=$<TARGET_FILE:planting_probe>"
      "LUNKO_PLANTED_NAMES=${planted_names}"
      # Windows' rule for a DLL outside KnownDLLs: the program's folder first.
      "LUNKO_EXTRA_OVERRIDES=${planted_names}=n,b")
# As Windows Vista, where the installer does not restrict the search with
# SetDefaultDllDirectories but preloads by System32 path instead.
lunko_test_run(test_dll_planting_vista PROGRAM test_dll_planting
  WINVER "probe.exe=vista LunkoSetup.exe=vista"
  ENV "LUNKO_PLANTED_DLL=$<TARGET_FILE:planted_dll>"
      "LUNKO_PLANTING_PROBE=$<TARGET_FILE:planting_probe>"
      "LUNKO_PLANTED_NAMES=${planted_names}"
      "LUNKO_EXTRA_OVERRIDES=${planted_names}=n,b"
  ARGS --gtest_filter=*TakeNothing*:*InstallerLoadsNoPlantedDll)
