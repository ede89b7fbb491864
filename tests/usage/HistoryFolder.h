#pragma once

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace flowloom::usage::test {

// A fresh folder per test for a history file. The name carries the process,
// suite and test, so suites running side by side never share one.
struct TempFolder
{
    std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("flowloom-history-" + std::to_string(::getpid()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    TempFolder()
    {
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~TempFolder() { std::filesystem::remove_all(path); }
    std::filesystem::path file() const { return path / "flowloom-history.sqlite"; }
};

} // namespace flowloom::usage::test
