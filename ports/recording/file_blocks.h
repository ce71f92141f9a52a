// Reads a file front to back in blocks, so that a capture of any size is read
// with one block of memory: pieces of bytes up to a block long, or lines.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace TolvarRT {

// Thread rules: one thread at a time.
class CFileBlocks {
public:
    // The longest piece Take gives; a longer line is cut (see NextLine).
    static constexpr std::size_t kBlock = 1u << 16;

    // Reads readBlock bytes at a time (tests read in small blocks to cross
    // many block ends).
    explicit CFileBlocks(std::size_t readBlock = kBlock) : readBlock(std::max<std::size_t>(readBlock, 1)) {}
    CFileBlocks(const CFileBlocks&) = delete;
    CFileBlocks& operator=(const CFileBlocks&) = delete;
    ~CFileBlocks();

    // False with "PATH: reason" when the file cannot be opened.
    bool Open(const std::string& path, std::string& error);
    void Close();
    // The file's length when asked.
    bool Size(std::uint64_t& size, std::string& error) const;

    // The next count bytes (at most kBlock) in one piece; fewer only at the
    // end of the file. False with "PATH: read error" when reading fails.
    bool Take(std::size_t count, const std::uint8_t*& data, std::size_t& length, std::string& error);

    enum eLine { kLine, kTornLine, kNoLine, kReadError };
    // The next line without its line end; kTornLine for text after the last
    // line end, kNoLine at the end. A line longer than kBlock is cut there
    // (the rest is skipped) and overlong says so.
    eLine NextLine(std::string& line, bool& overlong, std::string& error);

private:
    // Makes at least count bytes (or all that are left) lie from begin on.
    bool Fill(std::size_t count);

    const std::size_t readBlock;
    std::string path;
    std::FILE* file = nullptr;
    std::vector<std::uint8_t> buffer;  // a piece and a block, taken at the first read
    std::size_t begin = 0;
    std::size_t end = 0;
    bool atEnd = false;
};

}  // namespace TolvarRT
