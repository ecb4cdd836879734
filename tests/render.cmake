# Owner drawing and the bilingual message box.

# Drawing on memory DCs, in the wizard dialog made from template 114 inside
# the test, and on the built installer's first page.
lunko_test(test_owner_draw
  SOURCES test_owner_draw.cpp test_owner_draw_wizard.cpp pixel_support.cpp test_main.cpp
  RC ${CMAKE_SOURCE_DIR}/resources/installer.rc
  LIBS comctl32
  DEPENDS installer lunko_icons)
target_include_directories(test_owner_draw PRIVATE ${installer_icon_dir})
# List items on a Big5 system, where strings kept by the list lose GBK text.
lunko_test_run(test_owner_draw_zh_TW PROGRAM test_owner_draw LOCALE zh_TW
  ARGS --gtest_filter=OwnerListItem.*)

# The message box: box_runner shows a series of boxes that the test checks
# and ends one by one.
add_executable(box_runner WIN32 box_runner.cpp ${CMAKE_SOURCE_DIR}/resources/installer.rc)
target_link_libraries(box_runner PRIVATE lunko_core lunko_driver)
target_include_directories(box_runner PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/resources
  ${installer_icon_dir})
add_dependencies(box_runner lunko_icons)

lunko_test(test_message_box
  SOURCES test_message_box.cpp pixel_support.cpp test_main.cpp
  DEPENDS box_runner
  ENV "LUNKO_BOX_RUNNER=$<TARGET_FILE:box_runner>")
# The same boxes on Chinese systems, where window texts go through code
# page 936 or 950 rather than 1252.
foreach(locale zh_CN zh_TW)
  lunko_test_run(test_message_box_${locale} PROGRAM test_message_box LOCALE ${locale}
    ENV "LUNKO_BOX_RUNNER=$<TARGET_FILE:box_runner>")
endforeach()
