// The log pane as a user meets it: texts from the test's threads appear whole
// and in order, the pane keeps its size, a reader scrolled back is not moved,
// and the copy commands fill the clipboard.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <atomic>
#include <thread>
#include <vector>

#include "app/log_levels.h"
#include "app/memory_settings_store.h"
#include "app/tolvar_test_suite_doc.h"
#include "gui/edit_log.h"
#include "gui/qt_text.h"
#include "log_texts.h"
#include "scripted_document_ui.h"

namespace {

class EditLogTest : public ::testing::Test {
protected:
    EditLogTest()
    {
        pane.resize(600, 300);
        pane.show();
    }

    // The pane's text with the line starts the log texts carry.
    std::string Shown() const
    {
        std::string shown = gui::FromQt(pane.toPlainText());
        std::string withBreaks;
        for (char c : shown) {
            if (c == '\n')
                withBreaks += '\r';
            withBreaks += c;
        }
        return withBreaks;
    }
    bool WaitForNothingPending()
    {
        return QTest::qWaitFor([&] { return pane.Queue().PendingStrings() == 0; }, 10000);
    }
    void Write(const std::string& text, unsigned level = kLogBasic)
    {
        document.LogPipe().PublishLine(level, text.c_str());
    }

    CMemorySettingsStore settings;
    TolvarRT::testing::ScriptedUi ui;
    CTolvarTestSuiteDoc document{settings, ui};
    gui::CEditLog pane{document, settings};
};

TEST_F(EditLogTest, TextsFromSeveralThreadsAppearWholeAndInOrder)
{
    pane.SetLogLevel(kLogAll);
    ASSERT_TRUE(WaitForNothingPending());
    pane.ClearText();

    constexpr int kThreads = 3;
    constexpr int kTexts = 400;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([&, t] {
            CLogNode node(&document.LogPipe());
            for (int i = 0; i < kTexts; ++i)
                node.LogBasic("thread %d text %d end", t, i);
        });
    for (std::thread& writer : writers)
        writer.join();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return pane.document()->blockCount() >= kThreads * kTexts + 1 && pane.Queue().PendingStrings() == 0; },
        10000));
    TolvarRT::testing::ExpectThreadTexts(Shown(), kThreads, kTexts, " end");
}

TEST_F(EditLogTest, LevelsColourTheTextAndTheLevelIsKept)
{
    EXPECT_EQ(pane.LogLevel(), 2u) << "Most on a first start";
    pane.SetLogLevel(9);
    EXPECT_EQ(pane.LogLevel(), 3u);
    EXPECT_EQ(settings.ReadInt("Settings", "LogLevel", -1), 3);
    EXPECT_EQ(settings.ReadInt("Settings", "FileLogLevel", -1), 3);
    ASSERT_TRUE(WaitForNothingPending());
    EXPECT_NE(Shown().find("\r\nNew Logging Level 3"), std::string::npos);

    pane.ClearText();
    Write("\r\nbasic", kLogBasic);
    ASSERT_TRUE(WaitForNothingPending());
    Write("\r\nall", kLogAll);
    ASSERT_TRUE(WaitForNothingPending());
    const QTextBlock basic = pane.document()->findBlockByNumber(1);
    const QTextBlock all = pane.document()->findBlockByNumber(2);
    ASSERT_EQ(basic.text(), "basic");
    ASSERT_EQ(all.text(), "all");
    EXPECT_EQ(basic.begin().fragment().charFormat().foreground().color(), QColor(0, 0, 192));
    EXPECT_EQ(all.begin().fragment().charFormat().foreground().color(), QColor(96, 96, 96));
    EXPECT_EQ(all.begin().fragment().charFormat().fontPointSize(), 8.0);

    gui::CEditLog second{document, settings};
    EXPECT_EQ(second.LogLevel(), 3u) << "read back from the settings";
}

TEST_F(EditLogTest, PausedPaneShowsItsTextsOnlyWhenUnpaused)
{
    ASSERT_TRUE(WaitForNothingPending());
    pane.ClearText();
    pane.SetPaused(true);
    EXPECT_TRUE(pane.IsPaused());
    Write("\r\nfirst");
    Write("\r\nsecond");
    QTest::qWait(50);  // room for a wrong posting to show them
    EXPECT_EQ(pane.toPlainText(), "");
    pane.SetPaused(false);
    EXPECT_EQ(pane.toPlainText(), "\nfirst\nsecond");
}

TEST_F(EditLogTest, TheOldestTenthGoesBeyondAHundredThousandCharacters)
{
    const std::string filler(90, 'x');
    for (int i = 0; i < 1500; ++i)
        Write("\r\nline " + std::to_string(i) + " " + filler);
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane.toPlainText().endsWith("line 1499 " + gui::ToQt(filler)); }, 20000));
    const int characters = pane.document()->characterCount();
    EXPECT_LE(characters, 100000 + 101 * 100) << "at most one batch beyond the size";
    EXPECT_GT(characters, 80000);
    EXPECT_FALSE(pane.toPlainText().contains("line 0 ")) << "the oldest lines went";
    // What is left runs on without a gap.
    const std::vector<std::string> lines = TolvarRT::testing::Lines(Shown());
    ASSERT_FALSE(lines.empty());
    const int first = std::stoi(lines.front().substr(5));
    for (std::size_t i = 0; i < lines.size(); ++i)
        ASSERT_EQ(lines[i].substr(0, lines[i].find(' ', 5)), "line " + std::to_string(first + int(i)));
}

TEST_F(EditLogTest, AReaderScrolledBackStaysWhereTheyAreAndOneAtTheEndFollows)
{
    for (int i = 0; i < 200; ++i)
        Write("\r\nolder " + std::to_string(i));
    ASSERT_TRUE(WaitForNothingPending());
    QScrollBar* bar = pane.verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum()) << "following the end";

    const int reading = bar->maximum() / 3;
    bar->setValue(reading);
    const int readingValue = bar->value();
    for (int i = 0; i < 100; ++i)
        Write("\r\nnewer " + std::to_string(i));
    ASSERT_TRUE(WaitForNothingPending());
    ASSERT_TRUE(pane.toPlainText().endsWith("newer 99"));
    EXPECT_NEAR(bar->value(), readingValue, pane.fontMetrics().lineSpacing());
    EXPECT_LT(bar->value(), bar->maximum());

    bar->setValue(bar->maximum());
    Write("\r\nlatest");
    ASSERT_TRUE(WaitForNothingPending());
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(EditLogTest, CopyPutsTheSelectionOnTheClipboardAsPlainOrRichText)
{
    Write("\r\nalpha", kLogBasic);
    Write("\r\nbeta", kLogBasic);
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane.toPlainText().endsWith("beta"); }, 5000));
    pane.selectAll();

    QApplication::clipboard()->clear();
    pane.CopyAsText();
    const QMimeData* plain = QApplication::clipboard()->mimeData();
    ASSERT_NE(plain, nullptr);
    EXPECT_TRUE(plain->text().endsWith("alpha\nbeta"));
    EXPECT_FALSE(plain->hasHtml());

    QApplication::clipboard()->clear();
    pane.CopyAsRichText();
    const QMimeData* rich = QApplication::clipboard()->mimeData();
    ASSERT_NE(rich, nullptr);
    ASSERT_TRUE(rich->hasHtml());
    EXPECT_TRUE(rich->html().contains("#0000c0")) << "the dark blue of the texts";
    EXPECT_TRUE(rich->text().endsWith("alpha\nbeta"));
}

}  // namespace
