#include "output/encoders/ImageType.h"
#include "output/encoders/JpegEncoder.h"
#include "output/encoders/MemorySink.h"

#include "TestImages.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

using flowloom::output::EncodeError;
using flowloom::output::ImageType;
using flowloom::output::ImageView;
using flowloom::output::PixelFormat;
namespace fs = std::filesystem;

namespace {

// A fresh folder under the system's temporary directory, removed afterwards.
class TempFolder
{
public:
    TempFolder()
    {
        std::random_device random;
        m_path = fs::temp_directory_path() / ("flowloom-imagetype-" + std::to_string(random()));
        fs::create_directories(m_path);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

std::vector<std::uint8_t> readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string magicOf(const std::vector<std::uint8_t>& bytes, std::size_t count)
{
    return std::string(bytes.begin(), bytes.begin() + std::min(count, bytes.size()));
}

} // namespace

TEST(ImageType, ExtensionsAndDispatch)
{
    EXPECT_EQ(flowloom::output::extensionOf(ImageType::Bmp), ".bmp");
    EXPECT_EQ(flowloom::output::extensionOf(ImageType::Jpeg), ".jpg");
    EXPECT_EQ(flowloom::output::extensionOf(ImageType::Gif), ".gif");
    EXPECT_EQ(flowloom::output::extensionOf(ImageType::Png), ".png");

    const auto image = flowloom::test::letterF(PixelFormat::Bgrx32);
    const std::pair<ImageType, std::string> expected[] = {{ImageType::Bmp, "BM"},
                                                          {ImageType::Jpeg, "\xFF\xD8\xFF"},
                                                          {ImageType::Gif, "GIF89a"},
                                                          {ImageType::Png, "\x89PNG\r\n\x1A\n"}};
    for (const auto& [type, magic] : expected) {
        std::vector<std::uint8_t> bytes{1, 2, 3};
        ASSERT_EQ(flowloom::output::encodeToMemory(image.view(), type, 80, bytes), EncodeError::Ok);
        EXPECT_EQ(magicOf(bytes, magic.size()), magic);
        flowloom::output::MemorySink sink;
        ASSERT_EQ(flowloom::output::encode(image.view(), type, 80, sink), EncodeError::Ok);
        EXPECT_EQ(sink.bytes(), bytes);
    }
    // The quality reaches the JPEG encoder: a higher one gives a different file.
    std::vector<std::uint8_t> web;
    std::vector<std::uint8_t> file;
    ASSERT_EQ(flowloom::output::encodeToMemory(image.view(), ImageType::Jpeg,
                                               flowloom::output::JpegEncoder::kWebQuality, web),
              EncodeError::Ok);
    ASSERT_EQ(flowloom::output::encodeToMemory(image.view(), ImageType::Jpeg,
                                               flowloom::output::JpegEncoder::kFileQuality, file),
              EncodeError::Ok);
    EXPECT_NE(web, file);

    // A failed encoding leaves nothing behind in memory.
    ImageView broken = image.view();
    broken.data = nullptr;
    std::vector<std::uint8_t> bytes{1, 2, 3};
    EXPECT_EQ(flowloom::output::encodeToMemory(broken, ImageType::Png, 80, bytes),
              EncodeError::InvalidImage);
    EXPECT_TRUE(bytes.empty());
}

TEST(ImageType, FilesFollowTheTypeNotTheName)
{
    TempFolder folder;
    const auto image = flowloom::test::letterF(PixelFormat::Bgrx32);
    // GIF chosen, a name ending in ".png" typed: GIF data in that file.
    const fs::path path = folder.path() / "graph.png";
    ASSERT_FALSE(flowloom::output::encodeToFile(path, image.view(), ImageType::Gif, 90));
    const std::vector<std::uint8_t> written = readFile(path);
    EXPECT_EQ(magicOf(written, 6), "GIF89a");
    std::vector<std::uint8_t> inMemory;
    ASSERT_EQ(flowloom::output::encodeToMemory(image.view(), ImageType::Gif, 90, inMemory),
              EncodeError::Ok);
    EXPECT_EQ(written, inMemory);

    // An existing file is replaced, not appended to.
    ASSERT_FALSE(flowloom::output::encodeToFile(path, image.view(), ImageType::Bmp, 90));
    EXPECT_EQ(readFile(path).size(), 54u + 20u * 5u);
}

TEST(ImageType, FileErrorsCarryTheSystemReason)
{
    TempFolder folder;
    const auto image = flowloom::test::letterF(PixelFormat::Bgrx32);

    const std::error_code missing = flowloom::output::encodeToFile(
        folder.path() / "no such folder" / "x.jpg", image.view(), ImageType::Jpeg, 90);
    EXPECT_EQ(missing, std::errc::no_such_file_or_directory);
    EXPECT_FALSE(missing.message().empty());

    // An encoding error keeps its own code and leaves no file.
    ImageView broken = image.view();
    broken.width = 0;
    const fs::path path = folder.path() / "broken.png";
    EXPECT_EQ(flowloom::output::encodeToFile(path, broken, ImageType::Png, 90),
              EncodeError::InvalidImage);
    EXPECT_FALSE(fs::exists(path));

    if (fs::exists("/dev/full")) {
        // A full disk surfaces when the data is flushed; the device itself stays.
        const std::error_code full =
            flowloom::output::encodeToFile("/dev/full", image.view(), ImageType::Bmp, 90);
        EXPECT_EQ(full, std::errc::no_space_on_device);
        EXPECT_TRUE(fs::is_character_file("/dev/full"));
    }
}
