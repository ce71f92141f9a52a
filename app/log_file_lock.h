// The log file belongs to one log at a time: opened and locked here, each
// system its own way, then written through a plain descriptor.
#pragma once

#include <string>

// Opens path for writing, locks it for this log and empties it. The lock is
// not taken on a device (a terminal, the error output), which takes every
// log that writes to it; a file system without locks is no reason to refuse.
// The descriptor, or -1 with failure saying why ("another log is writing
// into it" when another log holds the lock).
int OpenLockedLogFile(const std::string& path, std::string& failure);
