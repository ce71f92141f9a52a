// The status page and the index as people see them: loaded by a real browser
// (headless Chromium from the tests' packages), which must find the table's
// rows, draw the page, and reload it by itself after the Refresh period.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/memory_settings_store.h"
#include "app/tolvar_test_suite_doc.h"
#include "core/time_base.h"
#include "scripted_document_ui.h"
#include "stats/stats_table_model.h"
#include "temp_folder.h"
#include "wait_until.h"
#include "web/status_server.h"

extern char** environ;

namespace {

using namespace TolvarRT;

constexpr const char* kChromium = "/usr/bin/chromium";
constexpr TimeStamp kMillisecond = 1'000'000;

// Chromium as root in a sandboxless container: no GPU, no first-run work and
// no connection beyond the page (the machine refuses all others).
std::vector<std::string> BrowserArguments(const std::string& profile)
{
    return {kChromium,
            "--headless",
            "--no-sandbox",
            "--disable-gpu",
            "--disable-quic",
            "--no-first-run",
            "--disable-background-networking",
            "--disable-component-update",
            "--disable-sync",
            "--user-data-dir=" + profile};
}

// The browser in a process group of its own, so that its helper processes end
// with it; its output goes to the file given.
class Browser {
public:
    Browser(std::vector<std::string> arguments, const std::string& output)
    {
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        if (posix_spawn(&pid, kChromium, &files, &attributes, argv.data(), environ) != 0)
            pid = -1;
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&files);
    }
    ~Browser() { Stop(); }
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    bool Started() const { return pid > 0; }

    // The exit status once it ends by itself within the deadline; -1 when it
    // had to be stopped.
    int WaitForEnd(std::chrono::seconds deadline)
    {
        int status = 0;
        const bool ended =
            TolvarRT::testing::WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, deadline);
        if (!ended) {
            Stop();
            return -1;
        }
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void Stop()
    {
        if (pid <= 0)
            return;
        kill(-pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }

private:
    pid_t pid = -1;
};

std::string FileText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The statistics table as the browser parsed it: each row's cell texts,
// trimmed; the banner table above it holds no cell of its own.
std::vector<std::vector<std::string>> TableCells(const std::string& dom)
{
    std::vector<std::vector<std::string>> rows;
    const std::size_t table = dom.find("Packet Type Received");
    if (table == std::string::npos)
        return rows;
    for (std::size_t row = dom.rfind("<tr>", table); row != std::string::npos; row = dom.find("<tr>", row + 4)) {
        const std::size_t rowEnd = dom.find("</tr>", row);
        rows.emplace_back();
        for (std::size_t cell = dom.find("<td", row); cell < rowEnd; cell = dom.find("<td", cell + 3)) {
            const std::size_t textStart = dom.find("\">", dom.find("<p", cell)) + 2;
            const std::size_t textEnd = dom.find("</p>", textStart);
            std::string text = dom.substr(textStart, textEnd - textStart);
            text.erase(0, text.find_first_not_of(" \t\n"));
            rows.back().push_back(text);
        }
    }
    return rows;
}

class BrowserPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(access(kChromium, X_OK), 0) << "the chromium package (./dev deps installs it for the tests)";
        document.ListenerStatistics().SetSource(&document.SourceStatistics());
        // Two CMR types, one with a frame lost, so the page has two rows
        // that differ.
        for (int second = 0; second < 5; ++second) {
            Frame(0, std::uint16_t(100 + second), second * 1000, true);
            Frame(5, std::uint16_t(200 + second), second * 1000 + 500, second != 2);
        }
        document.RefreshStatistics();
        server.SetRefreshSeconds(1);
        std::string error;
        ASSERT_TRUE(server.Start("127.0.0.1:0", error)) << error;
        base = "http://127.0.0.1:" + std::to_string(server.Port());
    }

    void Frame(std::uint8_t type, std::uint16_t sum, TimeStamp atMs, bool received)
    {
        document.SourceStatistics().RecordFrame(kFrameClassCMR, type, 100, sum, start + atMs * kMillisecond);
        if (received)
            document.ListenerStatistics().RecordFrame(kFrameClassCMR, type, 100, sum,
                                                      start + (atMs + 60) * kMillisecond);
    }

    // What the browser made of the page at path once it had loaded it.
    std::string Dom(const std::string& path)
    {
        std::vector<std::string> arguments = BrowserArguments(folder.File("profile-dom"));
        arguments.push_back("--dump-dom");
        arguments.push_back(base + path);
        Browser browser(arguments, folder.File("dom.html"));
        EXPECT_TRUE(browser.Started());
        EXPECT_EQ(browser.WaitForEnd(std::chrono::seconds(60)), 0);
        return FileText(folder.File("dom.html"));
    }

    // The PNG the browser drew of the page at path, 1280 pixels wide.
    std::string Screenshot(const std::string& path, const std::string& name)
    {
        std::vector<std::string> arguments = BrowserArguments(folder.File("profile-shot"));
        arguments.push_back("--screenshot=" + folder.File(name));
        arguments.push_back("--window-size=1280,720");
        arguments.push_back("--hide-scrollbars");
        arguments.push_back(base + path);
        Browser browser(arguments, folder.File("shot.log"));
        EXPECT_TRUE(browser.Started());
        EXPECT_EQ(browser.WaitForEnd(std::chrono::seconds(60)), 0);
        return FileText(folder.File(name));
    }

    const TimeStamp start = TimeStampNow();
    TolvarRT::testing::TempFolder folder;
    CMemorySettingsStore settings;
    TolvarRT::testing::ScriptedUi ui;
    CTolvarTestSuiteDoc document{settings, ui};
    web::CStatusServer server{document};
    std::string base;
};

TEST_F(BrowserPageTest, TheBrowserFindsEveryRowOfTheTableAndTheLinkToThePage)
{
    const std::string page = Dom(document.PagePath());
    EXPECT_NE(page.find("<title>" + document.TitleText()), std::string::npos) << page;
    const std::vector<std::vector<std::string>> rows = TableCells(page);
    ASSERT_EQ(rows.size(), 3u) << page;
    ASSERT_EQ(rows[0].size(), rows[1].size()) << page;
    EXPECT_EQ(rows[0][kColumnCount], "Count");
    EXPECT_EQ(rows[0][kColumnSourceCount], "Source Count");
    // Type 0: all 5 arrived; type 5: 4 of 5.
    EXPECT_EQ(rows[1][kColumnName], "CMR Type 0");
    EXPECT_EQ(rows[1][kColumnCount], "5");
    EXPECT_EQ(rows[1][kColumnSourceCount], "5");
    EXPECT_EQ(rows[2][kColumnName], "CMR Type 5");
    EXPECT_EQ(rows[2][kColumnCount], "4");
    EXPECT_EQ(rows[2][kColumnSourceCount], "5");
    EXPECT_EQ(rows[2][kColumnReceived], "80.00%");
    EXPECT_EQ(rows[2][kColumnLastLatency], "060 ms");

    const std::string index = Dom("/");
    EXPECT_NE(index.find("href=\"" + document.PagePath() + "\""), std::string::npos) << index;
}

TEST_F(BrowserPageTest, ThePageIsDrawnAndReloadedAfterItsRefreshPeriod)
{
    httplib::Client client(base);
    const auto answer = client.Get(document.PagePath());
    ASSERT_TRUE(answer && answer->status == 200);
    EXPECT_EQ(answer->get_header_value("Refresh"), "1") << "the server's period replaces the page's own 60";

    const std::string png = Screenshot(document.PagePath(), "page.png");
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    // IHDR's width, big-endian, right after the chunk's length and name.
    EXPECT_EQ(png.substr(16, 4), std::string("\0\0\x05\x00", 4));
    EXPECT_GT(Screenshot("/", "index.png").size(), 24u);

    // Left open on the page, the browser asks for it again by itself, once a
    // period; the screenshots above asked once each.
    const unsigned long before = server.PagesServed();
    std::vector<std::string> arguments = BrowserArguments(folder.File("profile-open"));
    arguments.push_back("--remote-debugging-port=0");
    arguments.push_back(base + document.PagePath());
    Browser browser(arguments, folder.File("open.log"));
    ASSERT_TRUE(browser.Started());
    EXPECT_TRUE(
        TolvarRT::testing::WaitUntil([&] { return server.PagesServed() >= before + 3; }, std::chrono::seconds(60)))
        << server.PagesServed() - before << " loads";
}

}  // namespace
