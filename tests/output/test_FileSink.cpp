#include "output/encoders/FileSink.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

using flowloom::output::FileSink;
namespace fs = std::filesystem;

namespace {

fs::path freshFolder()
{
    std::random_device random;
    const fs::path path =
        fs::temp_directory_path() / ("flowloom-filesink-" + std::to_string(random()));
    fs::create_directories(path);
    return path;
}

} // namespace

TEST(FileSink, WritesReplacesAndDiscards)
{
    const fs::path folder = freshFolder();
    const fs::path path = folder / "image.bin";
    {
        std::ofstream old(path, std::ios::binary);
        old << "an older and longer file";
    }
    const std::uint8_t bytes[] = {1, 2, 3, 4};
    {
        FileSink sink(path);
        ASSERT_TRUE(sink.isOpen());
        EXPECT_TRUE(sink.write(bytes, 4));
        EXPECT_TRUE(sink.write(bytes, 0));
        EXPECT_FALSE(sink.close());
        EXPECT_FALSE(sink.write(bytes, 4)); // closed
    }
    EXPECT_EQ(fs::file_size(path), 4u);

    {
        FileSink sink(path);
        EXPECT_TRUE(sink.write(bytes, 2));
        sink.discard();
    }
    EXPECT_FALSE(fs::exists(path));

    {
        // Closed by its destructor when nobody calls close().
        FileSink sink(path);
        EXPECT_TRUE(sink.write(bytes, 3));
    }
    EXPECT_EQ(fs::file_size(path), 3u);
    fs::remove_all(folder);
}

TEST(FileSink, ReportsTheSystemError)
{
    const fs::path folder = freshFolder();
    FileSink missing(folder / "absent" / "x.png");
    EXPECT_FALSE(missing.isOpen());
    EXPECT_EQ(missing.error(), std::errc::no_such_file_or_directory);
    const std::uint8_t byte = 0;
    EXPECT_FALSE(missing.write(&byte, 1));
    EXPECT_EQ(missing.close(), std::errc::no_such_file_or_directory);
    // Nothing was created, so nothing may be removed: the folder stays as it was.
    missing.discard();
    EXPECT_TRUE(fs::exists(folder));

    FileSink onFolder(folder);
    EXPECT_EQ(onFolder.error(), std::errc::is_a_directory);
    onFolder.discard();
    EXPECT_TRUE(fs::is_directory(folder));
    fs::remove_all(folder);
}
