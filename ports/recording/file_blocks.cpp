#include "ports/recording/file_blocks.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>

namespace TolvarRT {

CFileBlocks::~CFileBlocks()
{
    Close();
}

bool CFileBlocks::Open(const std::string& filePath, std::string& error)
{
    Close();
    path = filePath;
    file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    // The block buffer is ours: stdio's own would copy every byte twice.
    std::setvbuf(file, nullptr, _IONBF, 0);
    return true;
}

void CFileBlocks::Close()
{
    if (file != nullptr)
        std::fclose(file);
    file = nullptr;
    buffer.clear();
    buffer.shrink_to_fit();
    begin = end = 0;
    atEnd = false;
}

bool CFileBlocks::Size(std::uint64_t& size, std::string& error) const
{
    struct stat status {};
    if (file == nullptr || ::fstat(fileno(file), &status) != 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    size = std::uint64_t(status.st_size);
    return true;
}

bool CFileBlocks::Fill(std::size_t count)
{
    if (end - begin >= count || atEnd)
        return true;
    if (buffer.empty())
        buffer.resize(kBlock + readBlock);
    if (begin > 0) {
        std::memmove(buffer.data(), buffer.data() + begin, end - begin);
        end -= begin;
        begin = 0;
    }
    while (end < count && !atEnd) {
        const std::size_t got = std::fread(buffer.data() + end, 1, std::min(readBlock, buffer.size() - end), file);
        end += got;
        if (got == 0) {
            if (std::ferror(file))
                return false;
            atEnd = true;
        }
    }
    return true;
}

bool CFileBlocks::Take(std::size_t count, const std::uint8_t*& data, std::size_t& length, std::string& error)
{
    count = std::min(count, kBlock);
    if (file == nullptr || !Fill(count)) {
        error = path + ": read error";
        return false;
    }
    length = std::min(count, end - begin);
    data = buffer.data() + begin;
    begin += length;
    return true;
}

CFileBlocks::eLine CFileBlocks::NextLine(std::string& line, bool& overlong, std::string& error)
{
    line.clear();
    overlong = false;
    for (;;) {
        if (file == nullptr || !Fill(1)) {
            error = path + ": read error";
            return kReadError;
        }
        if (begin == end)
            return line.empty() && !overlong ? kNoLine : kTornLine;
        const std::uint8_t* from = buffer.data() + begin;
        const auto* newline = static_cast<const std::uint8_t*>(std::memchr(from, '\n', end - begin));
        const std::size_t piece = newline != nullptr ? std::size_t(newline - from) : end - begin;
        const std::size_t kept = std::min(piece, kBlock - line.size());
        line.append(reinterpret_cast<const char*>(from), kept);
        overlong = overlong || kept < piece;
        begin += piece;
        if (newline != nullptr) {
            ++begin;
            return kLine;
        }
    }
}

}  // namespace TolvarRT
