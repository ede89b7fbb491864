#pragma once

#include "accounting/AccountingCore.h"
#include "sampling/StatRec.h"
#include "usage/UsageRules.h"
#include "web/documents/Figures.h"

#include <string>

namespace flowloom::app {

// The figures of the tick that the core has just counted: every interface's
// bytes since the start, the selected interface's rates and totals (its
// statistics record, or none), the billing period and the cap.
web::Figures figuresOf(const accounting::AccountingCore& core,
                       const sampling::TStatRec* selectedStatistics, const usage::LocalZone& zone,
                       const sampling::DateTime& now, const std::string& version);

// The hardware address of an identity, or nothing where it has none
// (loopback and tunnels report zeros).
std::string hardwareAddressOf(const usage::InterfaceIdentity& identity);

// "download", "upload" or "both".
std::string capCountsWord(usage::CapCounts counts);

} // namespace flowloom::app
