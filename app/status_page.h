// The HTML status page of a test document: its statistics table as the user
// sees it, its latest statistics summary, what the streams told of
// themselves, and the time. The document gathers
// the texts under its lock and hands them in; nothing here reads a document.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "core/time_base.h"
#include "stats/stats_table_model.h"

// The header line a page server adds to every status page.
inline constexpr const char kStatusPageExtraHeader[] = "Refresh:     60\n";

// One moment of a document. The views must outlive the call.
struct sStatusPageInput {
    std::string_view title;                     // titleText
    std::span<const char* const> headers;       // column headers, left to right
    std::span<const TolvarRT::sStatsRow> rows;  // top to bottom
    std::string_view summary;                   // summaryText, empty before the first summary
    std::string_view content{};                 // the stream content section; empty: none seen
    TolvarRT::sEpoch epoch{};                   // the epoch that "now" is read against
    TolvarRT::TimeStamp now = 0;
};

// All functions are free of shared state and may be called from any thread.

// "/TolvarTestSuiteDoc_%02d": at least two digits, more when the number needs them.
std::string StatusPagePath(unsigned documentNumber);

// & < > " and ' as entities, so typed texts (network addresses in titles)
// cannot break the markup.
std::string EscapeHtml(std::string_view text);

std::string StatusPageText(const sStatusPageInput& input);

// GetPage of a document: builds the page and hands out a newly allocated,
// NUL-terminated copy and its length without the terminator; extraHeader (may
// be null) receives kStatusPageExtraHeader. False, with *page null and
// *length 0, only when an out pointer is null or memory runs out.
bool HandOutStatusPage(const sStatusPageInput& input, char** page, std::size_t* length, std::string* extraHeader);

// FreePage of a document: releases a copy from HandOutStatusPage; null is ignored.
void FreeStatusPage(char* page);
