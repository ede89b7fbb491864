# The rtnetlink dump parsers, fed the bytes of one recv().
flowloom_add_fuzzer(fuzz_netlink ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_netlink.cpp flowloom_sampling)
