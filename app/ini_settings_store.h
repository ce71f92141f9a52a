// Settings in an INI file in the user's configuration folder: the store of the
// command line. The file may be edited by hand while the program is not
// writing it; what cannot be read is skipped, comments and unknown lines are
// kept when the file is written again.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/text_settings_store.h"

struct stat;

// File layout: "[Section]" headers and "Key=Value" lines; blanks around names
// and values are not part of them; lines starting with ';' or '#' are
// comments. A name or value that would not survive that (control characters,
// outer blanks, a leading quote, '=' in a key) is written in double quotes
// with C escapes (\\ \" \n \r \t \xHH). Byte blocks are hex. Profile texts
// live in sections under "Profile\" ("[Profile\Settings]" holds LogPath), so
// the top-level settings section "Profile" is theirs.
//
// The file is read when first needed and again whenever it changed on disk.
// Every write replaces the whole file through a temporary file and a rename,
// so a reader never sees half a file. A missing, unreadable or nonsensical
// file reads as defaults; a write that cannot be saved keeps the value for
// the rest of the session and returns false.
//
// Thread rules: any thread; one internal lock serialises every operation.
// Several processes may share the file: each write is whole, and the last
// writer of a value wins.
class CIniSettingsStore : public CTextSettingsStore {
public:
    // Files larger than this are not settings files and are not read.
    static constexpr std::uintmax_t kMaxFileSize = 4 * 1024 * 1024;

    explicit CIniSettingsStore(std::filesystem::path file);
    ~CIniSettingsStore() override;
    CIniSettingsStore(const CIniSettingsStore&) = delete;
    CIniSettingsStore& operator=(const CIniSettingsStore&) = delete;

    // $XDG_CONFIG_HOME (when absolute) or ~/.config, then
    // "Vendra/TolvarTestSuite.ini"; empty when no home folder is known.
    static std::filesystem::path DefaultPath();

    const std::filesystem::path& Path() const { return path; }

protected:
    std::optional<std::string> Find(Space space, std::string_view section, std::string_view key) const override;
    bool Store(Space space, std::string_view section, std::string_view key, std::string_view text) override;

private:
    struct sLine {
        std::string text;  // as in the file, without the line end
        bool isEntry = false;
        std::string key;
        std::string value;
    };
    struct sSection {
        std::string name;          // empty for the lines before the first header
        std::vector<sLine> lines;  // the header (if any) first
    };
    // What identifies one version of the file on disk.
    struct sStamp {
        bool exists = false;
        std::uintmax_t device = 0, inode = 0, size = 0;
        std::int64_t modifiedNs = 0;
        bool operator==(const sStamp&) const = default;
    };

    static sStamp StampOf(const struct stat& status);
    static std::string SectionName(Space space, std::string_view section);
    static std::vector<sSection> Parse(std::string_view content);
    static std::string Serialise(const std::vector<sSection>& sections);
    static void Set(std::vector<sSection>& sections, const std::string& section, std::string_view key,
                    std::string_view value);

    void RefreshLocked() const;
    bool SaveLocked(const std::vector<sSection>& sections);

    const std::filesystem::path path;
    mutable std::mutex lock;
    mutable std::vector<sSection> document;
    mutable std::optional<sStamp> stamp;  // none until the file was first looked at
};
