#pragma once

#include "usage/InterfaceIdentity.h"

#include <cstdint>
#include <string>
#include <vector>

namespace flowloom::usage {

// Bytes to add to one interface's day.
struct DayDelta
{
    InterfaceIdentity identity;
    std::string day; // dayKey
    std::uint64_t in = 0;
    std::uint64_t out = 0;
};

// Bytes to add to one interface's billing period, and the highest cap
// warning shown in it (CapLevel as a number; the stored level never falls).
struct PeriodDelta
{
    InterfaceIdentity identity;
    std::string start; // momentKey of the period's start
    std::uint64_t in = 0;
    std::uint64_t out = 0;
    int warned = 0;
};

// Bytes to add to one application's day on one interface (or on the sum of
// the physical ones). `kind` says how the application was identified; the
// history keeps it as a small number beside the name.
struct ApplicationDayDelta
{
    InterfaceIdentity identity;
    std::string application;
    int kind = 0;
    std::string day; // dayKey
    std::uint64_t in = 0;
    std::uint64_t out = 0;
};

// What one background write adds to the database. Batches are numbered; the
// database keeps the number of the last one written, in the same transaction
// as its bytes, so a batch is never added twice and a reader can tell whether
// a batch that is still held in memory is already in what it read.
struct UsageBatch
{
    std::uint64_t seq = 0;
    std::vector<DayDelta> days;
    std::vector<PeriodDelta> periods;
    std::vector<ApplicationDayDelta> applications;

    bool empty() const { return days.empty() && periods.empty() && applications.empty(); }
};

} // namespace flowloom::usage
