// A side's stream content in words: the host clock, the base stations, the
// age of the corrections, the epochs and the satellites. The run, the demo,
// the report and the status page all print it from here.
#pragma once

#include <string>
#include <vector>

#include "stats/content_snapshot.h"

namespace TolvarRT {

// "mean 812.3 ms (min 790.1, max 1020.0; median 805.0, 95% 950.2, RMS 815.9)":
// the words of every distribution the figures show, latency and age alike.
std::string DistributionMsText(double meanS, const sLatencyDistribution& distribution);

// One line per type: "      RTCM v3 Type 1077: mean ... ms (...), 120 frames";
// clock faults when any.
std::string AgeLines(const std::vector<sAgeFigures>& ages, const char* indent);

// What the frames told, without the host clock: stations, ages, epochs and
// satellites, four spaces in as under a side's heading.
std::string ContentFiguresText(const sContentSnapshot& content);

// One side's lines under its heading ("  Listener:\n    host clock ...");
// nothing when the side saw no content.
std::string ContentSideText(const char* side, const sContentSnapshot& content);

// "Stream content:" and each side that has content (source may be null);
// empty when neither has.
std::string ContentSectionText(const sContentSnapshot& listener, const sContentSnapshot* source);

}  // namespace TolvarRT
