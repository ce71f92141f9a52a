// The core speaks std::string in the system's 8-bit texts; Qt speaks QString.
// Every crossing goes through here so that the encoding is chosen once.
#pragma once

#include <QString>
#include <string>

namespace gui {

// Texts of the core are Latin-1 where they are not plain ASCII (the degree
// sign of the position text is byte 0xBA).
QString ToQt(const std::string& text);
std::string FromQt(const QString& text);

}  // namespace gui
