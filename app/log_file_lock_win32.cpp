// The file is opened by the C runtime, in binary mode so that the log's
// bytes are written as they are, and locked through its handle with
// LockFileEx: a second log's lock fails at once, and other programs may
// still read the file.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <windows.h>

#include <cerrno>
#include <system_error>

#include "app/log_file_lock.h"

int OpenLockedLogFile(const std::string& path, std::string& failure)
{
    const int opened = ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (opened < 0) {
        failure = std::system_category().message(errno);
        return -1;
    }
    HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(opened));
    const bool regular = GetFileType(handle) == FILE_TYPE_DISK;
    OVERLAPPED whole{};
    if (regular &&
        !LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole)) {
        if (GetLastError() == ERROR_LOCK_VIOLATION)
            failure = "another log is writing into it";
    } else if (regular && ::_chsize_s(opened, 0) != 0) {
        failure = std::system_category().message(errno);
    }
    if (!failure.empty()) {
        ::_close(opened);
        return -1;
    }
    return opened;
}
