include(GoogleTest)
find_package(GTest REQUIRED)

# flowloom_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [QT] [COST <seconds>])
# QT: the test needs a QApplication (offscreen); it links the project's Qt test main.
# COST: about how many seconds the program runs; ctest starts costly tests first
# when it runs several at once and has no timings of its own yet (a clean clone).
function(flowloom_add_test)
    cmake_parse_arguments(T "QT" "NAME;COST" "SOURCES;LIBS" ${ARGN})
    if(NOT T_COST)
        set(T_COST 0)
    endif()
    add_executable(${T_NAME} ${T_SOURCES})
    flowloom_warnings(${T_NAME})
    # Shared fakes and helpers are included as "support/...".
    target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    if(T_QT)
        target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} flowloom_qt_test_main GTest::gtest)
    else()
        target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
        # Plain tests have nothing for moc to read.
        set_target_properties(${T_NAME} PROPERTIES AUTOMOC OFF AUTORCC OFF)
        set_property(GLOBAL APPEND PROPERTY FLOWLOOM_PLAIN_TESTS ${T_NAME})
    endif()
    gtest_discover_tests(${T_NAME}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8" TIMEOUT 120 COST ${T_COST})
endfunction()
