#include "web/metrics_text.h"

#include <charconv>
#include <chrono>
#include <functional>

#include "app/tolvar_test_suite_doc.h"
#include "core/time_base.h"
#include "core/utf8_text.h"
#include "ports/recording/replay_session.h"

namespace web {
namespace {

using TolvarRT::sLinkFigures;

std::string Number(double value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string Number(std::uint64_t value)
{
    return std::to_string(value);
}

// Label values keep the port's and the type's names; the format wants UTF-8
// with backslash, quote and line end escaped.
std::string LabelValue(const std::string& text)
{
    std::string escaped;
    for (const char c : TolvarRT::ValidUtf8(text)) {
        if (c == '\\' || c == '"')
            escaped += '\\';
        if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    return escaped;
}

std::string Labels(const sLinkMetrics& link, const sSideMetrics* side = nullptr, const sLinkFigures* type = nullptr,
                   const std::string& extra = "")
{
    std::string text = "{link=\"" + LabelValue(link.link) + "\"";
    if (side != nullptr)
        text += ",side=\"" + side->side + "\"";
    if (type != nullptr)
        text += ",type=\"" + LabelValue(type->name) + "\"";
    if (!extra.empty())
        text += "," + extra;
    return text + "}";
}

class CExposition {
public:
    explicit CExposition(const std::vector<sLinkMetrics>& all) : links(all) {}

    void Family(const char* name, const char* type, const char* help)
    {
        text += std::string("# HELP tolvar_") + name + " " + help + "\n# TYPE tolvar_" + name + " " + type + "\n";
    }
    void Sample(const std::string& name, const std::string& labels, const std::string& value)
    {
        text += "tolvar_" + name + labels + " " + value + "\n";
    }

    void PerLink(const char* name, const char* type, const char* help,
                 const std::function<std::string(const sLinkMetrics&)>& value)
    {
        Family(name, type, help);
        for (const sLinkMetrics& link : links)
            Sample(name, Labels(link), value(link));
    }
    void PerSide(const char* name, const char* type, const char* help,
                 const std::function<std::string(const sSideMetrics&)>& value)
    {
        Family(name, type, help);
        for (const sLinkMetrics& link : links)
            for (const sSideMetrics& side : link.sides)
                Sample(name, Labels(link, &side), value(side));
    }
    // correlatedOnly: a figure only the receiving side of a correlation has.
    void PerType(const char* name, const char* type, const char* help, bool correlatedOnly,
                 const std::function<std::uint64_t(const sLinkFigures&)>& value)
    {
        Family(name, type, help);
        for (const sLinkMetrics& link : links)
            for (const sSideMetrics& side : link.sides)
                if (side.correlated || !correlatedOnly)
                    for (const sLinkFigures& figures : side.types)
                        Sample(name, Labels(link, &side, &figures), Number(value(figures)));
    }
    // One histogram's samples, in the coarse buckets every latency histogram has.
    void Histogram(const std::string& name, const std::string& labels, const TolvarRT::CLatencyHistogram& histogram)
    {
        // labels ends in "}": the bound goes inside.
        const std::string open = labels.substr(0, labels.size() - 1) + ",le=\"";
        for (std::size_t bound = 0; bound < histogram.kCoarseBoundsS.size(); ++bound)
            Sample(name + "_bucket", open + Number(histogram.kCoarseBoundsS[bound]) + "\"}",
                   Number(histogram.CountAtOrBelow(bound)));
        Sample(name + "_bucket", open + "+Inf\"}", Number(histogram.Count()));
        Sample(name + "_sum", labels, Number(histogram.SumS()));
        Sample(name + "_count", labels, Number(histogram.Count()));
    }
    void LatencyHistogram()
    {
        const std::string name = "frame_latency_seconds";
        Family(name.c_str(), "histogram",
               "Time from a frame's sending at the Source to its receipt, of matched frames.");
        for (const sLinkMetrics& link : links)
            for (const sSideMetrics& side : link.sides) {
                if (!side.correlated)
                    continue;
                for (const sLinkFigures& figures : side.types)
                    Histogram(name, Labels(link, &side, &figures), figures.transits);
            }
    }
    void AgeHistogram()
    {
        const std::string name = "correction_age_seconds";
        Family(name.c_str(), "histogram",
               "Age of the corrections on arrival: the host's time minus the frame's own epoch, of frames with "
               "an epoch whose clocks agree.");
        for (const sLinkMetrics& link : links)
            for (const sSideMetrics& side : link.sides)
                for (const TolvarRT::sAgeFigures& type : side.content.ages)
                    Histogram(name, Labels(link, &side, nullptr, "type=\"" + LabelValue(type.name) + "\""), type.ages);
    }
    void Epochs()
    {
        Family("epochs_total", "counter",
               "Epochs of a station's GNSS by state: complete, incomplete (part of their messages), lost (none).");
        for (const sLinkMetrics& link : links)
            for (const sSideMetrics& side : link.sides)
                for (const TolvarRT::sEpochFigures& epochs : side.content.epochs) {
                    const std::string station = "gnss=\"" + std::string(TolvarRT::GnssName(epochs.gnss)) +
                                                "\",station=\"" + std::to_string(epochs.stationId) + "\",state=\"";
                    Sample("epochs_total", Labels(link, &side, nullptr, station + "complete\""),
                           Number(epochs.complete));
                    Sample("epochs_total", Labels(link, &side, nullptr, station + "incomplete\""),
                           Number(epochs.incomplete));
                    Sample("epochs_total", Labels(link, &side, nullptr, station + "lost\""), Number(epochs.lost));
                }
    }
    void Stations()
    {
        Family("station_info", "gauge", "A base station the side's frames describe, its descriptors as labels; 1.");
        for (const sLinkMetrics& link : links)
            for (const sSideMetrics& side : link.sides)
                for (const TolvarRT::sStationFigures& station : side.content.stations)
                    Sample("station_info",
                           Labels(link, &side, nullptr,
                                  "station=\"" + std::to_string(station.stationId) + "\",antenna=\"" +
                                      LabelValue(station.antenna) + "\",setup_id=\"" + std::to_string(station.setupId) +
                                      "\",antenna_serial=\"" + LabelValue(station.antennaSerial) + "\",receiver=\"" +
                                      LabelValue(station.receiver) + "\",firmware=\"" + LabelValue(station.firmware) +
                                      "\",receiver_serial=\"" + LabelValue(station.receiverSerial) + "\""),
                           "1");
    }

    std::string text;

private:
    const std::vector<sLinkMetrics>& links;
};

}  // namespace

std::string MetricsText(const std::vector<sLinkMetrics>& links)
{
    CExposition out(links);
    out.PerLink("test_start_time_seconds", "gauge",
                "When the test's statistics began, in seconds since the Unix epoch.",
                [](const sLinkMetrics& link) { return Number(link.startTimeS); });
    out.PerSide("port_open", "gauge", "1 while the side's port is open, else 0.",
                [](const sSideMetrics& side) { return Number(std::uint64_t(side.portOpen ? 1 : 0)); });
    out.PerSide("received_bytes_total", "counter", "Bytes received on the side's port.",
                [](const sSideMetrics& side) { return Number(side.receivedBytes); });
    out.PerSide("rejected_bytes_total", "counter", "Received bytes that no decoder could use.",
                [](const sSideMetrics& side) { return Number(side.rejectedBytes); });
    out.PerSide("outages_total", "counter", "Outages of the whole side: no frame of any type for the failure time.",
                [](const sSideMetrics& side) { return Number(side.linkOutages); });
    out.PerSide("outage_seconds_total", "counter", "Seconds the side spent in outages, ended or not.",
                [](const sSideMetrics& side) { return Number(side.outageSeconds); });
    out.PerType("frames_received_total", "counter", "Frames decoded on the side.", false,
                [](const sLinkFigures& f) { return f.received; });
    out.PerType("frames_sent_total", "counter", "Frames the Source sent that the side should receive.", true,
                [](const sLinkFigures& f) { return f.sent; });
    out.PerType("frames_matched_total", "counter", "Received frames found among the Source's.", true,
                [](const sLinkFigures& f) { return f.matched; });
    out.PerType("frames_missed_total", "counter",
                "Frames the Source sent that were not received within the match window.", true,
                [](const sLinkFigures& f) { return f.missed; });
    out.PerType("frames_unmatched_total", "counter", "Received frames the Source never sent: corrupted or invented.",
                true, [](const sLinkFigures& f) { return f.unmatched; });
    out.PerType("frames_late_total", "counter", "Matched frames that took longer than the Source's period of the type.",
                true, [](const sLinkFigures& f) { return f.late; });
    out.PerType("frames_in_flight", "gauge", "Frames sent and not received yet that can still be matched.", true,
                [](const sLinkFigures& f) { return f.inFlight; });
    out.LatencyHistogram();
    out.AgeHistogram();
    out.Epochs();
    out.Stations();
    out.PerLink("host_clock_synchronised", "gauge",
                "1 while the host's clock, which the ages are judged against, is synchronised; 0 when it is not "
                "or the system cannot say.",
                [](const sLinkMetrics& link) {
                    return Number(std::uint64_t(link.hostClock.known && link.hostClock.synchronised ? 1 : 0));
                });
    return out.text;
}

sLinkMetrics DocumentMetrics(CTolvarTestSuiteDoc& document, const std::string& link)
{
    const TolvarRT::TimeStamp now = TolvarRT::CReplaySession::LinkTimeNow();
    sLinkMetrics metrics;
    metrics.link = link;
    TolvarRT::CStatsCollection& listener = document.ListenerStatistics();
    const double runSeconds = TolvarRT::SecondsBetween(now, listener.RunStart());
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    metrics.startTimeS = std::chrono::duration<double>(sinceEpoch).count() - runSeconds;

    const auto side = [&](const char* name, TolvarRT::CStatsCollection& statistics, TolvarRT::CDCProto& endpoint,
                          bool correlated) {
        sSideMetrics figures;
        figures.side = name;
        figures.correlated = correlated;
        figures.portOpen = endpoint.IsPortOpen();
        figures.receivedBytes = endpoint.ReceivedBytes();
        figures.rejectedBytes = endpoint.RejectedBytes();
        const TolvarRT::sHealthCounts health = statistics.HealthCounts(now);
        figures.linkOutages = health.linkOutages;
        figures.outageSeconds = health.outageSeconds;
        const TolvarRT::sStatsSnapshot snapshot = statistics.Snapshot(now);
        figures.types = TolvarRT::MeasureLink(snapshot, false);
        figures.content = snapshot.content;
        return figures;
    };
    metrics.sides.push_back(side("listener", listener, document.ListenerEndpoint(), true));
    metrics.hostClock = metrics.sides.front().content.clock.host;
    // A Listener-only run has no Source side to speak of.
    if (document.IsSourceOpen() || document.SourceStatistics().HasRecords())
        metrics.sides.push_back(side("source", document.SourceStatistics(), document.SourceEndpoint(), false));
    return metrics;
}

}  // namespace web
