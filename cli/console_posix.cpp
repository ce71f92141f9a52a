#include "cli/console.h"

namespace cli {

// POSIX streams are bytes already.
void UseBinaryStandardStreams() {}

}  // namespace cli
