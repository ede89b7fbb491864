# The socket-diagnostics parsers (dump replies, close announcements), fed the bytes of one recv().
flowloom_add_fuzzer(fuzz_sockdiag ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_sockdiag.cpp flowloom_appnet)
