#include "output/rules/SizeRule.h"

namespace flowloom::output {

namespace {

// percent is an int and a side far below 2^32, so the product fits in 64 bits;
// C++ division truncates toward zero, as trunc does.
std::int64_t percentOfSide(int percent, std::int64_t side)
{
    return static_cast<std::int64_t>(percent) * side / 100;
}

std::string sizeText(SizeRule::Size size)
{
    return std::to_string(size.width) + " x " + std::to_string(size.height);
}

} // namespace

SizeRule::Size SizeRule::imageSize(Size onScreen) const
{
    if (!applies)
        return onScreen;
    if (percentMode)
        return percentOf(percent, onScreen);
    return Size{width, height};
}

SizeRule::Size SizeRule::percentOf(int percent, Size onScreen)
{
    return Size{percentOfSide(percent, onScreen.width), percentOfSide(percent, onScreen.height)};
}

std::string SizeRule::screenSizeNote(Size onScreen)
{
    return "Items not checked will use screen graph size (" + sizeText(onScreen) + ")";
}

std::string SizeRule::percentPreview(int percent, Size onScreen)
{
    return "(" + sizeText(percentOf(percent, onScreen)) + ")";
}

} // namespace flowloom::output
