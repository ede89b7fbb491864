# The query of history.json, the scraper's Accept header and the documents
# for other programs, fed raw bytes.
flowloom_add_fuzzer(fuzz_api_query ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_api_query.cpp flowloom_webdocs)
