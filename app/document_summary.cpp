// The test window's document's figures as time passes: the statistics'
// steady tick, the interval summary (kept, logged and charted) and the
// status page served from them.
#include "app/tolvar_test_suite_doc.h"

#include <algorithm>
#include <cstdio>

#include "app/chart_value.h"
#include "app/content_text.h"
#include "app/date_text.h"
#include "app/status_page.h"
#include "core/time_base.h"
#include "ports/recording/replay_session.h"

using namespace TolvarRT;

void CTolvarTestSuiteDoc::RefreshStatistics()
{
    // The view's once-a-second refresh is the document's steady tick: every
    // front end that shows the table drives it, and outages need time to
    // pass without frames to be judged, on the clock the frames carry.
    const TimeStamp now = CReplaySession::LinkTimeNow();
    listenerStats.CheckHealth(now);
    sourceStats.CheckHealth(now);
    statisticsTable.Refresh(listenerStats);
    if (contentRefreshed) {
        RefreshContent();
        contentRefreshed();
    }
}

void CTolvarTestSuiteDoc::WatchContent(std::function<void()> refreshed)
{
    contentRefreshed = std::move(refreshed);
}

void CTolvarTestSuiteDoc::RefreshContent()
{
    // The Listener's snapshot holds its source's content too.
    contentView.Refresh(listenerStats.Snapshot(CReplaySession::LinkTimeNow()));
}

std::string CTolvarTestSuiteDoc::TakeIntervalSummary()
{
    const TimeStamp now = TimeStampNow();
    return KeepIntervalSummary(listenerStats.Summary(true, now), now);
}

CTolvarTestSuiteDoc::sChartSample CTolvarTestSuiteDoc::TakeIntervalSummaryAndChartValue()
{
    TimeStamp now = 0;
    sChartSample sample;
    std::string summary;
    listenerStats.ReadTogether([&] {
        now = TimeStampNow();
        const auto rate = [&](unsigned type, unsigned frameClass) {
            return listenerStats.IntervalRate(type, frameClass, now);
        };
        sample.value = ChartValue(rate, radioHandler != nullptr);
        // The interval began with the previous sample, or with the run.
        const TimeStamp from = std::max(chartIntervalStart, listenerStats.RunStart());
        sample.linkOutage = LinkWasOutBetween(listenerStats.Outages(now), from, now);
        chartIntervalStart = now;
        summary = listenerStats.Summary(true, now);
    });
    // Logged outside the statistics' lock: the log pipe's sinks may take
    // locks of their own that the port threads hold while they log.
    KeepIntervalSummary(std::move(summary), now);
    return sample;
}

std::string CTolvarTestSuiteDoc::SummaryText() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return summaryText;
}

std::string CTolvarTestSuiteDoc::KeepIntervalSummary(std::string summary, TimeStamp now)
{
    LogSummary(summary, kLogNone);
    char stamp[160];
    std::snprintf(stamp, sizeof stamp, "\nSummary as of %s[%0.3fs]\n", DateText(TimeStampToDate(now)).c_str(),
                  SecondsSinceStart(now));
    summary += stamp;
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    summaryText = summary;
    return summary;
}

void CTolvarTestSuiteDoc::LogSummary(const std::string& summary, unsigned level)
{
    // A log line holds at most kLineSize bytes and a longer text would be
    // dropped whole: a summary of many frame types goes in pieces of whole
    // lines, each well below the bound (its time prefix included).
    constexpr std::size_t kPiece = CLogPipe::kLineSize - 200;
    std::size_t start = 0;
    while (start < summary.size()) {
        std::size_t end = summary.size();
        if (end - start > kPiece) {
            const std::size_t lineBreak = summary.rfind("\r\n", start + kPiece);
            end = lineBreak != std::string::npos && lineBreak > start ? lineBreak : start + kPiece;
        }
        const std::string piece = summary.substr(start, end - start);
        if (level == kLogNone)
            log.LogAlways("%s", piece.c_str());
        else
            log.LogBasic("%s", piece.c_str());
        start = end;
    }
}

bool CTolvarTestSuiteDoc::GetPage(const char*, const char*, char** page, std::size_t* length, std::string* extraHeader)
{
    // Read from a snapshot, before the document's lock: the table's next
    // refresh keeps what it has yet to show.
    const sStatsSnapshot snapshot = ListenerStatistics().Snapshot();
    const std::string content = ContentSectionText(snapshot.content, &snapshot.sourceContent);
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    const std::vector<sStatsRow> rows = statisticsTable.Rows();
    const auto& headers = CStatsTableModel::ColumnHeaders();
    sStatusPageInput input;
    input.title = titleText;
    input.headers = std::span<const char* const>(headers.data(), headers.size());
    input.rows = rows;
    input.summary = summaryText;
    input.content = content;
    input.epoch = ProgramEpoch::Current();
    input.now = TimeStampNow();
    return HandOutStatusPage(input, page, length, extraHeader);
}

void CTolvarTestSuiteDoc::FreePage(char* page)
{
    FreeStatusPage(page);
}
