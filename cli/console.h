// The standard streams carry the same bytes on every system: the Windows C
// runtime would otherwise turn each "\n" into "\r\n", and JSON, frame lists
// and reports would differ from the Linux program's.
#pragma once

namespace cli {

// Called first thing in main.
void UseBinaryStandardStreams();

}  // namespace cli
