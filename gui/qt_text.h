// The core speaks std::string in the bytes its texts came with; Qt speaks
// QString. Every crossing goes through here so that the encoding is chosen
// once.
#pragma once

#include <QString>
#include <string>

namespace gui {

// A text of the core: UTF-8 where it is well formed (a file name, an address
// the user typed), else Latin-1 (the degree sign of the position text is the
// single byte 0xBA).
QString ToQt(const std::string& text);
// What the user typed or chose, as UTF-8: the bytes a file name has on the
// system, never '?' for a letter outside Latin-1.
std::string FromQt(const QString& text);

}  // namespace gui
