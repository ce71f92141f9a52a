#include "gui/qt_text.h"

#include "core/utf8_text.h"

namespace gui {

QString ToQt(const std::string& text)
{
    if (TolvarRT::ValidUtf8(text) == text)
        return QString::fromUtf8(text.data(), qsizetype(text.size()));
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

std::string FromQt(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

}  // namespace gui
