# The HTTP request reader and reply writer, fed raw bytes.
flowloom_add_fuzzer(fuzz_http_request ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_http_request.cpp flowloom_http)
