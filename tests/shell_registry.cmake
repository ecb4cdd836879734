# The pooled string (blocks, copy on write, formatting, threads) and the
# registration under HKEY_CLASSES_ROOT with the Apps & features entry, each
# in its own fresh prefix.
lunko_test(test_pooled_string SOURCES test_pooled_string.cpp test_main.cpp)
lunko_test(test_registry SOURCES test_registry.cpp test_main.cpp ENV "LUNKO_VERSION=${PROJECT_VERSION}")
