// The log pane flooded by three writing threads: how late the user-interface
// thread answers events while the pane takes the texts in, and the memory the
// process holds. A plain program with its own event loop rather than a Google
// Benchmark, because what is measured is the loop's latency, not a call.
//
//   QT_QPA_PLATFORM=offscreen build/bench/log_pane_bench [--seconds N] [--rate TEXTS_PER_S]
#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/memory_settings_store.h"
#include "app/tolvar_test_suite_doc.h"
#include "gui/edit_log.h"

namespace {

using Clock = std::chrono::steady_clock;

// A document that never asks anything: the pane is all that runs.
class SilentUi : public IDocumentUi {
public:
    bool ShowPortSettings(CPortSettings&) override { return false; }
    std::vector<std::string> SerialDevices() override { return {}; }
    bool AskYesNo(const std::string&) override { return false; }
    void ShowInformation(const std::string&) override {}
    std::optional<std::string> AskSaveFileName(const std::string&, const char*, const char*) override
    {
        return std::nullopt;
    }
    void StartTimer(unsigned, unsigned) override {}
    void StopTimer(unsigned) override {}
    void ResetStatisticsViews() override {}
    void SetStatusPane(const std::string&) override {}
    void SetMainCaption(const std::string&) override {}
    void SetDocumentTitle(const std::string&) override {}
};

long StatusKilobytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::strlen(field)));
    return -1;
}

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(fraction * double(values.size())))];
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    int seconds = 10;
    int rate = 3000;  // texts a second, all threads together
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--rate") == 0)
            rate = std::atoi(argv[i + 1]);
    }
    constexpr int kWriters = 3;
    constexpr auto kProbePeriod = std::chrono::milliseconds(20);

    CMemorySettingsStore settings;
    SilentUi ui;
    CTolvarTestSuiteDoc document(settings, ui);
    gui::CEditLog pane(document, settings);
    pane.resize(1000, 400);
    pane.show();
    pane.SetLogLevel(3);
    const long startKilobytes = StatusKilobytes("VmRSS:");

    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < kWriters; ++t)
        writers.emplace_back([&, t] {
            CLogNode node(&document.LogPipe());
            const auto period = std::chrono::nanoseconds(1'000'000'000LL * kWriters / rate);
            auto next = Clock::now();
            for (int i = 0; !stop.load(); ++i) {
                // Levels in turn, so the pane colours and switches runs.
                if (i % 3 == 2)
                    node.LogAll("Rx Vendcomm CMD=%x, LEN=%d, STATUS=%x, CS=%x, thread %d text %d", 0x93, 77, 0, 0x5a, t,
                                i);
                else
                    node.LogBasic("%s Receive CMR Frame Length %d, Type %d, thread %d text %d", "GPS", 77, 0, t, i);
                next += period;
                std::this_thread::sleep_until(next);
            }
        });

    // A probe thread posts an event every 20 ms; the user-interface thread
    // notes how long each one waited in the queue.
    std::vector<double> latenciesMs;
    std::thread probe([&] {
        auto next = Clock::now();
        while (!stop.load()) {
            const auto sent = Clock::now();
            QMetaObject::invokeMethod(
                &pane,
                [&latenciesMs, sent] {
                    latenciesMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
                },
                Qt::QueuedConnection);
            next += kProbePeriod;
            std::this_thread::sleep_until(next);
        }
    });

    QTimer::singleShot(std::chrono::seconds(seconds), &application, [&] {
        stop = true;
        QApplication::quit();
    });
    QApplication::exec();
    for (std::thread& writer : writers)
        writer.join();
    probe.join();

    std::printf("log pane flood: %d texts/s from %d threads for %d s\n", rate, kWriters, seconds);
    std::printf("event latency: median %.1f ms, 99th percentile %.1f ms, max %.1f ms (%zu probes)\n",
                Percentile(latenciesMs, 0.5), Percentile(latenciesMs, 0.99), Percentile(latenciesMs, 1.0),
                latenciesMs.size());
    std::printf("pane: %d characters in %d lines, %zu strings still queued\n", pane.document()->characterCount(),
                pane.document()->blockCount(), pane.Queue().PendingStrings());
    std::printf("memory: resident %ld kB at the end (%ld kB before the flood), peak %ld kB\n",
                StatusKilobytes("VmRSS:"), startKilobytes, StatusKilobytes("VmHWM:"));
    return 0;
}
