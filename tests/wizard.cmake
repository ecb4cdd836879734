# The wizard walked as a user walks it, against the built installer: pages,
# answers, agreement texts, keys, ways out and the folder chooser.
lunko_test(test_wizard SOURCES test_wizard.cpp test_main.cpp DEPENDS installer)
