# Inputs the fuzz targets found crashing, kept as ordinary tests for both builds.
tw_add_test(fuzz_regressions_test SOURCES fuzz_regressions_test.cpp LIBS mobigen_core tw_convert tw_test_support LABELS fuzz)
