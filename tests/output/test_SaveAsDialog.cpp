#include "output/glue/SaveAsDialog.h"

#include <gtest/gtest.h>

using flowloom::output::ImageType;
using flowloom::output::SaveAsDialog;

TEST(SaveAsDialog, FilterListPreselectionAndSuffix)
{
    EXPECT_EQ(SaveAsDialog::nameFilters(SaveAsDialog::kFilter),
              (QStringList{"JPEG Image File (*.jpg)", "GIF Image File (*.gif)",
                           "Bitmap File (*.bmp)", "PNG Image File (*.png)"}));
    // A description without its pattern gets it; ";" separates Windows patterns.
    EXPECT_EQ(SaveAsDialog::nameFilters("Images|*.jpg;*.jpeg|Bad"),
              QStringList{"Images (*.jpg *.jpeg)"});

    EXPECT_EQ(SaveAsDialog::filterIndex(ImageType::Jpeg), 0);
    EXPECT_EQ(SaveAsDialog::filterIndex(ImageType::Gif), 1);
    EXPECT_EQ(SaveAsDialog::filterIndex(ImageType::Bmp), 2);
    EXPECT_EQ(SaveAsDialog::filterIndex(ImageType::Png), 3);
    EXPECT_EQ(SaveAsDialog::defaultSuffix(ImageType::Bmp), QStringLiteral("bmp"));
    EXPECT_EQ(SaveAsDialog::defaultSuffix(ImageType::Png), QStringLiteral("png"));
}
