#include "output/rules/ExportSettings.h"

namespace flowloom::output {

SizeRule ExportSettings::sizeRuleFor(Destination destination) const
{
    bool applies = false;
    switch (destination) {
    case Destination::WebImage:
        applies = cbHTTP;
        break;
    case Destination::Files:
        applies = cbCaptured;
        break;
    case Destination::Clipboard:
        applies = cbClip;
        break;
    case Destination::Printer:
        applies = cbPrint;
        break;
    }
    return SizeRule{applies, percentMode, percent, width, height};
}

} // namespace flowloom::output
