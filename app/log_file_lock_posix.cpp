#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "app/log_file_lock.h"

int OpenLockedLogFile(const std::string& path, std::string& failure)
{
    // Not truncated until the lock is ours: a file another log is writing
    // into is left alone, as the reader-only sharing of the file promises.
    const int opened = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (opened < 0) {
        failure = std::system_category().message(errno);
        return -1;
    }
    struct stat status {};
    const bool regular = ::fstat(opened, &status) == 0 && S_ISREG(status.st_mode);
    if (regular && ::flock(opened, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        failure = "another log is writing into it";
    else if (regular && ::ftruncate(opened, 0) != 0)
        failure = std::system_category().message(errno);
    if (!failure.empty()) {
        ::close(opened);
        return -1;
    }
    return opened;
}
