#pragma once

#include "sampling/RateUnit.h"

#include <string>

namespace flowloom::web {

// The statistics texts exactly as the Statistics tab shows them after one
// tick. The window publishes a fresh value per shown tick and connection
// threads only ever read a published one, so a document never mixes the
// figures of two ticks.
struct StatisticsView
{
    std::string Panel14; // download bytes per second
    std::string Panel15; // download peak
    std::string Panel16; // download average
    std::string Panel18; // upload bytes per second
    std::string Panel19; // upload peak
    std::string Panel20; // upload average
    std::string Panel26; // cumulative download total
    std::string Panel27; // cumulative upload total
    std::string Label39; // download total counted since
    std::string Label41; // upload total counted since
    // The unit of the rates in the documents people read: a bit unit shows
    // them there in bits; any other leaves the bytes as the Statistics tab
    // shows them. The comma-separated document always has bytes.
    sampling::RateUnit readableRateUnit = sampling::RateUnit::Bytes;
};

} // namespace flowloom::web
