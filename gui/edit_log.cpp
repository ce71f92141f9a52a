#include "gui/edit_log.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <algorithm>
#include <thread>

#include "app/log_levels.h"
#include "app/log_view_scroll.h"
#include "app/settings_store.h"
#include "app/tolvar_test_suite_doc.h"
#include "gui/qt_text.h"

namespace gui {
namespace {

// The log's texts start their lines with "\r\n"; a text document breaks
// blocks at "\n" and would show the "\r".
QString PaneText(const std::string& text)
{
    QString shown = ToQt(text);
    shown.remove(QLatin1Char('\r'));
    return shown;
}

QTextCharFormat FormatFor(LogColour colour, QTextCharFormat format)
{
    const sRunFormat run = RunFormatOf(colour);
    if (run.automaticColour) {
        format.clearForeground();
        return format;
    }
    format.setForeground(QColor(run.red, run.green, run.blue));
    if (run.sizeTwips > 0)
        format.setFontPointSize(run.sizeTwips / 20.0);
    return format;
}

}  // namespace

CEditLog::CEditLog(CTolvarTestSuiteDoc& doc, ISettingsStore& store, QWidget* parent)
    : QTextEdit(parent),
      settings(store),
      queue(doc.LogPipe(), &doc.FileLog(),
            store.ReadInt(kLogSettingsSection, kPaneLogLevelKey, CLogViewQueue::kDefaultLevel))
{
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont font(QStringLiteral("Courier New"), 10);
    font.setStyleHint(QFont::TypeWriter);
    setFont(font);
    document()->setDefaultFont(font);
    queue.SetSurface(this);
}

CEditLog::~CEditLog()
{
    // No posting may reach a pane that is going; a posting already queued
    // dies with this object.
    queue.SetSurface(nullptr);
    queue.DetachFromPipe();
}

void CEditLog::showEvent(QShowEvent* event)
{
    QTextEdit::showEvent(event);
    if (!attached)
        attached = queue.AttachToPipe();
}

void CEditLog::SetLogLevel(unsigned level)
{
    const sLogLevels stored = queue.SetLogLevel(int(std::min(level, unsigned(kLogLevelHighest))));
    settings.WriteInt(kLogSettingsSection, kPaneLogLevelKey, stored.paneLevel);
    settings.WriteInt(kLogSettingsSection, kFileLogLevelKey, stored.fileLevel);
    emit LogLevelChanged(unsigned(stored.paneLevel));
}

unsigned CEditLog::LogLevel() const
{
    return const_cast<CLogViewQueue&>(queue).GetLogLevel();
}

void CEditLog::SetPaused(bool paused)
{
    const bool changed = paused != queue.IsPaused();
    queue.SetPaused(paused);
    if (changed)
        emit PausedChanged(paused);
}

bool CEditLog::IsPaused() const
{
    return queue.IsPaused();
}

void CEditLog::ClearText()
{
    clear();
}

void CEditLog::CopyAsText()
{
    QApplication::clipboard()->setText(textCursor().selection().toPlainText());
}

void CEditLog::CopyAsRichText()
{
    const QTextDocumentFragment selection = textCursor().selection();
    auto* data = new QMimeData;
    data->setHtml(selection.toHtml());
    data->setText(selection.toPlainText());
    QApplication::clipboard()->setMimeData(data);
}

void CEditLog::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    const bool selected = textCursor().hasSelection();
    menu.addAction(QStringLiteral("Copy as Text"), this, &CEditLog::CopyAsText)->setEnabled(selected);
    menu.addAction(QStringLiteral("Copy as Rich Text"), this, &CEditLog::CopyAsRichText)->setEnabled(selected);
    menu.addSeparator();
    for (unsigned level = 0; level <= unsigned(kLogLevelHighest); ++level) {
        QAction* action = menu.addAction(QString::fromLatin1(kLogLevelCommands[level].menuText), this,
                                         [this, level] { SetLogLevel(level); });
        action->setStatusTip(QString::fromLatin1(kLogLevelCommands[level].panePrompt));
        action->setCheckable(true);
        action->setChecked(LogLevel() == level);
    }
    menu.exec(event->globalPos());
}

void CEditLog::PostShowPending()
{
    QMetaObject::invokeMethod(
        this, [this] { queue.ShowPending(); }, Qt::QueuedConnection);
}

void CEditLog::BeginPass()
{
    if (appendDepth++ == 0)
        viewport()->setUpdatesEnabled(false);
}

void CEditLog::EndPass()
{
    if (appendDepth > 0 && --appendDepth == 0) {
        viewport()->setUpdatesEnabled(true);
        viewport()->update();
    }
}

void CEditLog::PauseBeforeBatch()
{
    std::this_thread::sleep_for(CLogViewQueue::kBatchPause);
}

void CEditLog::AppendRun(const sLogRun& run)
{
    BeginPass();
    QScrollBar* vertical = verticalScrollBar();
    QScrollBar* horizontal = horizontalScrollBar();
    // The vertical bar counts pixels; "near the end" and the trim's shift
    // are reckoned in lines.
    const int line = std::max(1, fontMetrics().lineSpacing());
    const auto lines = [&](int pixels) { return (pixels + line - 1) / line; };
    CLogViewScroll memory(vertical->value() / line, lines(vertical->maximum()), horizontal->value(),
                          horizontal->maximum());

    QTextDocument* text = document();
    const int firstKept = CLogViewScroll::FirstLineKept(long(text->characterCount()), text->blockCount());
    if (firstKept > 0) {
        const int blocksBefore = text->blockCount();
        const int horizontalBefore = horizontal->maximum();
        QTextCursor trim(text);
        trim.setPosition(text->findBlockByNumber(firstKept).position(), QTextCursor::KeepAnchor);
        trim.removeSelectedText();
        memory.Trimmed(blocksBefore, text->blockCount(), horizontalBefore, horizontal->maximum());
    }

    QTextCursor end(text);
    end.movePosition(QTextCursor::End);
    end.insertText(PaneText(run.text), FormatFor(run.colour, end.charFormat()));

    // A user at the end follows the new text; one reading older text stays
    // on the same lines, shifted up by what a trim deleted.
    const int verticalTarget = memory.VerticalTarget(lines(vertical->maximum()));
    vertical->setValue(verticalTarget >= 0 ? std::min(verticalTarget * line, vertical->maximum())
                                           : vertical->maximum());
    const int horizontalTarget = memory.HorizontalTarget(horizontal->maximum());
    if (horizontalTarget >= 0)
        horizontal->setValue(horizontalTarget);
    EndPass();
}

}  // namespace gui
