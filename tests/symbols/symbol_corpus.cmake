# The symbol corpus generator and the peer readers that the symbol readers' tests and
# benchmarks share.
pvk_add_test(symbol_corpus_tests SOURCES symbol_corpus_test.cpp LIBS pvk_symbol_peers)
