#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "cli/console.h"

namespace cli {

void UseBinaryStandardStreams()
{
    // The console shows a bare "\n" as a new line all the same.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

}  // namespace cli
