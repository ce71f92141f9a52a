// The INI file behind the command line's settings.
#include "app/ini_settings_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "core/ascii_case.h"
#include "core/hex_digit.h"

namespace {

constexpr std::string_view kProfilePrefix = "Profile\\";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsControl(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
}

enum class Role { section, key, value };

bool NeedsQuotes(std::string_view text, Role role)
{
    if (text.empty())
        return role == Role::key;
    if (IsBlank(text.front()) || IsBlank(text.back()) || text.front() == '"')
        return true;
    for (const char c : text) {
        if (IsControl(c))
            return true;
    }
    if (role == Role::key)
        return text.find('=') != std::string_view::npos || text.front() == ';' || text.front() == '#' ||
               text.front() == '[';
    return false;
}

std::string Encode(std::string_view text, Role role)
{
    if (!NeedsQuotes(text, role))
        return std::string(text);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
        case '\\': quoted += "\\\\"; break;
        case '"': quoted += "\\\""; break;
        case '\n': quoted += "\\n"; break;
        case '\r': quoted += "\\r"; break;
        case '\t': quoted += "\\t"; break;
        default:
            if (IsControl(c)) {
                const auto byte = static_cast<unsigned char>(c);
                quoted += "\\x";
                quoted.push_back(kDigits[byte >> 4]);
                quoted.push_back(kDigits[byte & 0x0f]);
            } else {
                quoted.push_back(c);
            }
        }
    }
    quoted.push_back('"');
    return quoted;
}

// Reads a quoted text from the start of `text`; `used` receives the length
// taken, closing quote included. None when it is not a well-formed quote.
std::optional<std::string> DecodeQuoted(std::string_view text, std::size_t& used)
{
    if (text.empty() || text.front() != '"')
        return std::nullopt;
    std::string decoded;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            used = i + 1;
            return decoded;
        }
        if (c != '\\') {
            decoded.push_back(c);
            continue;
        }
        if (++i >= text.size())
            return std::nullopt;
        switch (text[i]) {
        case '\\': decoded.push_back('\\'); break;
        case '"': decoded.push_back('"'); break;
        case 'n': decoded.push_back('\n'); break;
        case 'r': decoded.push_back('\r'); break;
        case 't': decoded.push_back('\t'); break;
        case 'x': {
            if (i + 2 >= text.size())
                return std::nullopt;
            const int high = TolvarRT::HexDigitValue(text[i + 1]);
            const int low = TolvarRT::HexDigitValue(text[i + 2]);
            if (high < 0 || low < 0)
                return std::nullopt;
            decoded.push_back(static_cast<char>(high * 16 + low));
            i += 2;
            break;
        }
        default: return std::nullopt;
        }
    }
    return std::nullopt;
}

// A whole name or value: quoted when it is exactly one well-formed quote,
// otherwise taken as written (a hand-typed "C:\temp" stays as it is).
std::string DecodeWhole(std::string_view text)
{
    text = TrimBlanks(text);
    std::size_t used = 0;
    if (const std::optional<std::string> decoded = DecodeQuoted(text, used); decoded && used == text.size())
        return *decoded;
    return std::string(text);
}

}  // namespace

std::string CIniSettingsStore::SectionName(Space space, std::string_view section)
{
    return space == Space::profile ? std::string(kProfilePrefix) + std::string(section) : std::string(section);
}

CIniSettingsStore::sStamp CIniSettingsStore::StampOf(const struct stat& status)
{
    return sStamp{true, static_cast<std::uintmax_t>(status.st_dev), static_cast<std::uintmax_t>(status.st_ino),
                  static_cast<std::uintmax_t>(status.st_size),
                  static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
}

CIniSettingsStore::CIniSettingsStore(std::filesystem::path file) : path(std::move(file)) {}

CIniSettingsStore::~CIniSettingsStore() = default;

std::filesystem::path CIniSettingsStore::DefaultPath()
{
    std::filesystem::path folder;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/') {
        folder = config;
    } else {
        const char* home = std::getenv("HOME");
        std::string homeText = home != nullptr ? home : "";
        if (homeText.empty()) {
            long size = sysconf(_SC_GETPW_R_SIZE_MAX);
            std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
            passwd entry{};
            passwd* result = nullptr;
            if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result != nullptr &&
                result->pw_dir != nullptr)
                homeText = result->pw_dir;
        }
        if (homeText.empty())
            return {};
        folder = std::filesystem::path(homeText) / ".config";
    }
    return folder / "Vendra" / "TolvarTestSuite.ini";
}

std::vector<CIniSettingsStore::sSection> CIniSettingsStore::Parse(std::string_view content)
{
    if (content.starts_with("\xEF\xBB\xBF"))
        content.remove_prefix(3);
    std::vector<sSection> sections(1);
    while (!content.empty()) {
        const std::size_t end = content.find('\n');
        std::string_view raw = content.substr(0, end);
        content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
        if (!raw.empty() && raw.back() == '\r')
            raw.remove_suffix(1);

        sLine line;
        line.text = std::string(raw);
        const std::string_view text = TrimBlanks(raw);
        if (text.empty() || text.front() == ';' || text.front() == '#') {
            sections.back().lines.push_back(std::move(line));
            continue;
        }
        if (text.front() == '[') {
            // Up to the last ']'; a header left open runs to the line's end.
            std::string_view inner = text.substr(1);
            if (const std::size_t close = inner.rfind(']'); close != std::string_view::npos)
                inner = inner.substr(0, close);
            sections.push_back(sSection{DecodeWhole(inner), {}});
            sections.back().lines.push_back(std::move(line));
            continue;
        }
        std::string_view rest;
        if (text.front() == '"') {
            std::size_t used = 0;
            const std::optional<std::string> key = DecodeQuoted(text, used);
            rest = key ? TrimBlanks(text.substr(used)) : std::string_view();
            if (key && rest.starts_with('=')) {
                line.isEntry = true;
                line.key = *key;
                rest.remove_prefix(1);
            }
        } else if (const std::size_t equals = text.find('='); equals != std::string_view::npos) {
            line.isEntry = true;
            line.key = std::string(TrimBlanks(text.substr(0, equals)));
            rest = text.substr(equals + 1);
        }
        if (line.isEntry)
            line.value = DecodeWhole(rest);
        // Anything else is kept as it stands and otherwise ignored.
        sections.back().lines.push_back(std::move(line));
    }
    return sections;
}

std::string CIniSettingsStore::Serialise(const std::vector<sSection>& sections)
{
    std::string content;
    for (const sSection& section : sections) {
        for (const sLine& line : section.lines) {
            content += line.text;
            content.push_back('\n');
        }
    }
    return content;
}

void CIniSettingsStore::Set(std::vector<sSection>& sections, const std::string& section, std::string_view key,
                            std::string_view value)
{
    const std::string text = Encode(key, Role::key) + "=" + Encode(value, Role::value);
    // The entry that a reader sees is the last one of that name.
    sSection* lastSection = nullptr;
    sLine* lastEntry = nullptr;
    for (std::size_t s = 1; s < sections.size(); ++s) {
        if (!TolvarRT::EqualsIgnoringCase(sections[s].name, section))
            continue;
        lastSection = &sections[s];
        for (sLine& line : sections[s].lines) {
            if (line.isEntry && TolvarRT::EqualsIgnoringCase(line.key, key))
                lastEntry = &line;
        }
    }
    if (lastEntry != nullptr) {
        lastEntry->text = text;
        lastEntry->value = std::string(value);
        return;
    }
    sLine entry{text, true, std::string(key), std::string(value)};
    if (lastSection != nullptr) {
        // After the section's last entry, so trailing comments and blank
        // lines stay where they were.
        auto position = lastSection->lines.end();
        while (position != lastSection->lines.begin() + 1 && TrimBlanks(std::prev(position)->text).empty())
            --position;
        lastSection->lines.insert(position, std::move(entry));
        return;
    }
    const sSection& previous = sections.back();
    if (!previous.lines.empty() && !TrimBlanks(previous.lines.back().text).empty())
        sections.back().lines.push_back(sLine{});
    sSection added{section, {}};
    added.lines.push_back(sLine{"[" + Encode(section, Role::section) + "]", false, {}, {}});
    added.lines.push_back(std::move(entry));
    sections.push_back(std::move(added));
}

void CIniSettingsStore::RefreshLocked() const
{
    if (path.empty()) {
        stamp = sStamp{};
        return;
    }
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        // A file that went away means defaults; one that never came (a
        // failed save) leaves this session's values in place.
        if ((errno == ENOENT || errno == ENOTDIR) && (!stamp || stamp->exists)) {
            document.clear();
            stamp = sStamp{};
        }
        // Otherwise the file may be there but out of reach: keep what we know.
        return;
    }
    if (stamp && *stamp == StampOf(status))
        return;

    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat opened {};
    std::string content;
    const bool readable = ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
                          static_cast<std::uintmax_t>(opened.st_size) <= kMaxFileSize;
    if (readable) {
        content.resize(static_cast<std::size_t>(opened.st_size));
        std::size_t done = 0;
        while (done < content.size()) {
            const ssize_t got = ::read(fd, content.data() + done, content.size() - done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;  // shorter than it said: take what is there
            done += static_cast<std::size_t>(got);
        }
        content.resize(done);
    }
    ::close(fd);
    // A file that is not a settings file reads as defaults; it is looked at
    // again only when it changes.
    document = readable ? Parse(content) : std::vector<sSection>{};
    stamp = StampOf(opened);
}

bool CIniSettingsStore::SaveLocked(const std::vector<sSection>& sections)
{
    if (path.empty())
        return false;
    std::error_code error;
    std::filesystem::path target = path;
    if (std::filesystem::is_symlink(target, error)) {
        // Keep a linked settings file linked: replace what the link points at.
        const std::filesystem::path resolved = std::filesystem::weakly_canonical(target, error);
        if (!error)
            target = resolved;
    }
    if (target.has_parent_path())
        std::filesystem::create_directories(target.parent_path(), error);

    mode_t mode = 0644;
    if (struct stat existing{}; ::stat(target.c_str(), &existing) == 0)
        mode = existing.st_mode & 07777;
    const std::string temporary = target.string() + "." + std::to_string(::getpid()) + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    const std::string content = Serialise(sections);
    bool written = ::fchmod(fd, mode) == 0 || errno == EPERM;
    std::size_t done = 0;
    while (written && done < content.size()) {
        const ssize_t put = ::write(fd, content.data() + done, content.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            written = false;
        else
            done += static_cast<std::size_t>(put);
    }
    written = written && ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    if (!written || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // What is on disk now is what we hold; no need to read it back.
    if (struct stat saved{}; ::stat(path.c_str(), &saved) == 0)
        stamp = StampOf(saved);
    return true;
}

std::optional<std::string> CIniSettingsStore::Find(Space space, std::string_view section, std::string_view key) const
{
    std::lock_guard<std::mutex> guard(lock);
    RefreshLocked();
    const std::string name = SectionName(space, section);
    std::optional<std::string> found;
    for (std::size_t s = 1; s < document.size(); ++s) {
        if (!TolvarRT::EqualsIgnoringCase(document[s].name, name))
            continue;
        for (const sLine& line : document[s].lines) {
            if (line.isEntry && TolvarRT::EqualsIgnoringCase(line.key, key))
                found = line.value;
        }
    }
    return found;
}

bool CIniSettingsStore::Store(Space space, std::string_view section, std::string_view key, std::string_view text)
{
    std::lock_guard<std::mutex> guard(lock);
    RefreshLocked();
    std::vector<sSection> changed = document;
    if (changed.empty())
        changed.resize(1);
    Set(changed, SectionName(space, section), key, text);
    const bool saved = SaveLocked(changed);
    document = std::move(changed);
    return saved;
}
