#include "gui/char_filter_edit.h"

#include <QApplication>
#include <QKeyEvent>

namespace gui {

CharFilterEdit::CharFilterEdit(int maxLength, QWidget* parent) : QLineEdit(parent), filter(maxLength)
{
    setMaxLength(maxLength);
}

void CharFilterEdit::SetFilter(int id, std::uint16_t allowedClasses, bool forceUpperCase)
{
    controlId = id;
    filter.SetFilter(allowedClasses, forceUpperCase);
    filtering = true;
}

void CharFilterEdit::keyPressEvent(QKeyEvent* event)
{
    const QString typed = event->text();
    // Keys without a printable character (arrows, deletion, shortcuts) are
    // the edit's own business.
    if (!filtering || typed.isEmpty() || typed.at(0).unicode() < 32) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    QString inserted;
    bool changed = false;
    for (const QChar c : typed) {
        const TolvarRT::sCharDecision decision = filter.Filter(char32_t(c.unicode()));
        switch (decision.action) {
        case TolvarRT::sCharDecision::kInsert:
            inserted += QChar(char16_t(decision.character));
            changed = changed || decision.character != char32_t(c.unicode());
            break;
        case TolvarRT::sCharDecision::kDiscard: changed = true; break;
        case TolvarRT::sCharDecision::kReject:
            changed = true;
            Reject(c);
            break;
        }
    }
    if (!changed) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    event->accept();
    if (!inserted.isEmpty())
        insert(inserted);
}

void CharFilterEdit::Reject(QChar character)
{
    int answer = 0;
    emit CharacterRejected(controlId, character, &answer);
    if (answer != kSilent)
        Beep();
}

void CharFilterEdit::Beep()
{
    QApplication::beep();
}

}  // namespace gui
