// The README's examples as a user types them: every command it shows runs
// here (shortened), or, where it needs a device or a host that is not here,
// has its arguments judged by a dry run; and every excerpt of output it shows
// has the shape of what the command prints today.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "capture_manifest.h"
#include "temp_folder.h"
#include "tolvar_process.h"

namespace {

// Long enough for every frame type of a schedule to come and be summarised.
constexpr unsigned kShortSeconds = 6;

// What a decode example reads when no example before it made the file: a
// capture with frames of several classes and bytes no decoder takes.
constexpr const char* kExampleCapture = "pygpsdata-MIXED-RTCM3BADCRC.log";

struct sCommand {
    int line = 0;                    // in README.md
    std::string section;             // the "## " heading it is under
    std::string text;                // as shown
    std::vector<std::string> words;  // as a shell splits them, without a comment
    std::vector<std::string> excerpt;
    int excerptLine = 0;
};

std::vector<std::string> ShellWords(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (const char c : line) {
        if (quote != 0) {
            if (c == quote)
                quote = 0;
            else
                word += c;
        } else if (c == '"' || c == '\'') {
            quote = c;
            inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else if (c == '#' && !inWord) {
            break;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

bool IsCommand(const std::vector<std::string>& words)
{
    return !words.empty() && (words[0] == "./dev" || words[0] == "tolvar");
}

// The commands of the README's indented code blocks, each with the block of
// output that follows it in its section, if any. A block is commands only or
// output only; output with no command before it in its section fails.
std::vector<sCommand> ReadmeCommands()
{
    std::ifstream in(TOLVAR_README);
    EXPECT_TRUE(in) << TOLVAR_README;
    std::vector<sCommand> commands;
    std::string section;
    bool afterBlank = true;
    bool inBlock = false;
    std::vector<std::pair<int, std::string>> block;
    const auto finishBlock = [&] {
        while (!block.empty() && block.back().second.empty())
            block.pop_back();
        if (block.empty())
            return;
        const auto commandLines = std::count_if(block.begin(), block.end(),
                                                [](const auto& line) { return IsCommand(ShellWords(line.second)); });
        if (commandLines == 0) {
            if (commands.empty() || commands.back().section != section || !commands.back().excerpt.empty()) {
                ADD_FAILURE() << "README.md:" << block.front().first << ": output shown with no command before it";
            } else {
                commands.back().excerptLine = block.front().first;
                for (const auto& line : block)
                    commands.back().excerpt.push_back(line.second);
            }
        }
        for (const auto& [number, text] : block) {
            if (commandLines == 0)
                break;
            if (IsCommand(ShellWords(text)))
                commands.push_back({number, section, text, ShellWords(text), {}, 0});
            else
                ADD_FAILURE() << "README.md:" << number << ": a code block mixes commands and other lines: " << text;
        }
        block.clear();
    };
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        const bool indented = line.rfind("    ", 0) == 0;
        if (inBlock && (indented || line.empty())) {
            block.emplace_back(number, indented ? line.substr(4) : std::string());
            continue;
        }
        if (inBlock) {
            finishBlock();
            inBlock = false;
        }
        if (indented && afterBlank) {
            inBlock = true;
            block.emplace_back(number, line.substr(4));
            continue;
        }
        if (line.rfind("## ", 0) == 0)
            section = line.substr(3);
        afterBlank = line.empty();
    }
    finishBlock();
    return commands;
}

enum class eHow { run, dryRun, notRun };

struct sPlan {
    eHow how = eHow::notRun;
    std::vector<std::string> arguments;  // tolvar's
    std::string why;                     // of a command that is not run
};

// A port of the README's that is here: a recording or capture file. Every
// other names a device or a host this machine does not have.
bool PortIsHere(std::string port)
{
    for (const char* generator : {"fake-cmr:", "fake-ats:"})
        if (port.rfind(generator, 0) == 0)
            port = port.substr(std::string(generator).size());
    return port.rfind("FILE:", 0) == 0 || port.rfind("file://", 0) == 0;
}

// How the test tries a command: ./dev's sub-commands that run tolvar become
// tolvar; a run on a device or a remote host is a dry run; --seconds is at
// most kShortSeconds. A command not classified here fails the test, so that
// a new kind of example is seen to.
sPlan Plan(const sCommand& command)
{
    std::vector<std::string> words(command.words.begin() + 1, command.words.end());
    sPlan plan;
    if (command.words[0] == "./dev") {
        const std::string sub = words.empty() ? std::string() : words[0];
        if (sub == "test")
            return {eHow::notRun, {}, "the whole suite, this test among it"};
        if (sub == "gui")
            return {eHow::notRun, {}, "a desktop window"};
        if (sub == "windows")
            return {eHow::notRun, {}, "the Windows build, which the suite checks under wine"};
        if (sub == "demo") {
            plan.arguments = words;
        } else if (sub == "tolvar") {
            plan.arguments.assign(words.begin() + 1, words.end());
        } else {
            ADD_FAILURE() << "README.md:" << command.line << ": " << command.text << ": not classified in " << __FILE__;
            return {eHow::notRun, {}, "unclassified"};
        }
    } else {
        plan.arguments = words;
    }
    std::vector<std::string>& arguments = plan.arguments;
    plan.how = eHow::run;
    // The README's configuration names casters and converters this machine
    // does not have: the file is read and judged, nothing opened.
    if (!arguments.empty() && arguments[0] == "monitor") {
        plan.how = eHow::dryRun;
        std::erase_if(arguments, [](const std::string& word) { return word == "--json"; });
        for (std::size_t i = 0; i + 1 < arguments.size(); ++i)
            if (arguments[i] == "--seconds")
                arguments.erase(arguments.begin() + std::ptrdiff_t(i), arguments.begin() + std::ptrdiff_t(i) + 2);
        arguments.push_back("--dry-run");
        return plan;
    }
    const bool isTest = !arguments.empty() && (arguments[0] == "run" || arguments[0] == "demo");
    bool seconds = false;
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        if ((arguments[i] == "--listener" || arguments[i] == "--source") && !PortIsHere(arguments[i + 1]))
            plan.how = eHow::dryRun;
        if (arguments[i] == "--seconds") {
            seconds = true;
            arguments[i + 1] = std::to_string(std::min<unsigned long>(std::stoul(arguments[i + 1]), kShortSeconds));
        }
    }
    if (plan.how == eHow::dryRun)
        arguments.push_back("--dry-run");
    else if (isTest && !seconds)
        arguments.insert(arguments.end(), {"--seconds", std::to_string(kShortSeconds)});
    return plan;
}

// The files a decode example reads that are not there yet: the example capture
// under the README's name.
void ProvideCaptures(const std::vector<std::string>& arguments, const std::filesystem::path& folder)
{
    if (arguments.empty() || arguments[0] != "decode")
        return;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--chunk") {
            ++i;
            continue;
        }
        if (arguments[i].rfind("-", 0) == 0 || std::filesystem::exists(folder / arguments[i]))
            continue;
        std::filesystem::copy_file(TolvarRT::testing::CapturePath(kExampleCapture), folder / arguments[i]);
    }
}

// The configuration a monitor example reads: the README's YAML block that
// lists links, under the example's name.
void ProvideConfig(const std::vector<std::string>& arguments, const std::filesystem::path& folder)
{
    if (arguments.size() < 2 || arguments[0] != "monitor" || std::filesystem::exists(folder / arguments[1]))
        return;
    std::ifstream in(TOLVAR_README);
    std::string config;
    bool inYaml = false;
    for (std::string line; std::getline(in, line);) {
        if (inYaml && line == "```") {
            if (config.find("\nlinks:\n") != std::string::npos)
                break;
            inYaml = false;
        } else if (inYaml) {
            config += line + "\n";
        } else if (line == "```yaml") {
            inYaml = true;
            config.clear();
        }
    }
    ASSERT_NE(config.find("\nlinks:\n"), std::string::npos) << "the README shows no configuration";
    std::ofstream(folder / arguments[1]) << config;
}

std::string Collapsed(const std::string& line)
{
    std::istringstream words(line);
    std::string collapsed;
    for (std::string word; words >> word;)
        collapsed += (collapsed.empty() ? "" : " ") + word;
    return collapsed;
}

std::string Escaped(const std::string& text)
{
    std::string escaped;
    for (const char c : text) {
        if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos)
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

// An excerpt's line as a pattern: blanks collapsed, any number for a number
// and any rating for a rating (both change from run to run), and "n/a" for
// either (a figure not known yet).
std::regex LinePattern(const std::string& line)
{
    static const std::vector<std::string> ratings = {"not so good", "Very Good", "Perfect", "Good",
                                                     "Poor",        "Crap",      "n/a"};
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;)
        words.push_back(word);
    std::string pattern;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (!pattern.empty())
            pattern += ' ';
        const auto rating = std::find_if(ratings.begin(), ratings.end(), [&](const std::string& phrase) {
            std::string joined;
            for (std::size_t j = i; j < words.size() && joined.size() < phrase.size(); ++j)
                joined += (joined.empty() ? "" : " ") + words[j];
            return joined == phrase;
        });
        if (rating != ratings.end()) {
            pattern += "(not so good|Very Good|Perfect|Good|Poor|Crap|n/a)";
            i += std::size_t(std::count(rating->begin(), rating->end(), ' '));
            continue;
        }
        const std::string& word = words[i];
        if (std::none_of(word.begin(), word.end(),
                         [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
            pattern += Escaped(word);
            continue;
        }
        std::string figure;
        for (std::size_t at = 0; at < word.size();) {
            if (std::isdigit(static_cast<unsigned char>(word[at]))) {
                const auto digit = [&](std::size_t k) {
                    return k < word.size() && std::isdigit(static_cast<unsigned char>(word[k]));
                };
                while (digit(at) || (word[at] == '.' && digit(at + 1)))
                    ++at;
                figure += "[0-9]+(\\.[0-9]+)?";
            } else {
                figure += Escaped(word.substr(at++, 1));
            }
        }
        pattern += "(" + figure + "|n/a)";
    }
    return std::regex(pattern);
}

// Lines whose presence is the link's chance: the Listener's gap rule and the
// outages; or the host's: its clock, and the ages that stand on it.
bool IsChance(const std::string& line)
{
    // The stream content's clock, its leap seconds and so whether frames
    // have ages at all are the host's, not the README's.
    static const std::regex chance(
        "(Gap rule, .*|.* out from [0-9.]+ s to .*|host clock .*|leap seconds: .*|no ages: .*|"
        ".* Type [0-9]+: (no age|mean .* frames).*)");
    return std::regex_match(Collapsed(line), chance);
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    while (!lines.empty() && Collapsed(lines.back()).empty())
        lines.pop_back();
    return lines;
}

// Empty when the printed text has the excerpt's lines in its order, lines
// of chance aside on either side; otherwise the first difference.
std::string ShapeDifference(const std::vector<std::string>& excerpt, int firstLine, const std::string& printed)
{
    const std::vector<std::string> out = Lines(printed);
    std::size_t e = 0;
    std::size_t o = 0;
    while (e < excerpt.size() || o < out.size()) {
        if (e < excerpt.size() && o < out.size() && std::regex_match(Collapsed(out[o]), LinePattern(excerpt[e]))) {
            ++e;
            ++o;
        } else if (o < out.size() && IsChance(out[o])) {
            ++o;
        } else if (e < excerpt.size() && IsChance(excerpt[e])) {
            ++e;
        } else {
            std::ostringstream difference;
            difference << "README.md:" << firstLine + int(e) << " shows\n  "
                       << (e < excerpt.size() ? excerpt[e] : "(nothing more)") << "\nwhere the command printed\n  "
                       << (o < out.size() ? out[o] : "(nothing more)") << "\nin\n"
                       << printed;
            return difference.str();
        }
    }
    return {};
}

// Runs or judges every command of a section in order, in one fresh folder
// (a later example reads what an earlier one wrote), and compares the output
// shown with what is printed. Returns how many commands it ran or judged.
int TrySection(const std::string& section)
{
    TolvarRT::testing::TempFolder folder;
    int tried = 0;
    for (const sCommand& command : ReadmeCommands()) {
        if (command.section != section)
            continue;
        const sPlan plan = Plan(command);
        SCOPED_TRACE("README.md:" + std::to_string(command.line) + ": " + command.text);
        if (plan.how == eHow::notRun) {
            EXPECT_TRUE(command.excerpt.empty()) << "output shown for a command not run here (" << plan.why << ")";
            continue;
        }
        ++tried;
        ProvideCaptures(plan.arguments, folder.Path());
        ProvideConfig(plan.arguments, folder.Path());
        const cli::testing::sTolvarRun run = cli::testing::RunTolvar(plan.arguments, folder.Path().string());
        const bool judged = plan.how == eHow::run &&
                            std::find_if(plan.arguments.begin(), plan.arguments.end(), [](const std::string& word) {
                                return word == "--require" || word == "--max-latency";
                            }) != plan.arguments.end();
        if (judged && run.status == 3) {
            // A requirement the shortened run happened to miss: the verdict says so.
            EXPECT_NE(run.out.find("Verdict: FAIL: "), std::string::npos) << run.out;
        } else {
            EXPECT_EQ(run.status, 0) << run.err;
        }
        if (plan.how == eHow::dryRun) {
            EXPECT_EQ(run.out + run.err, "") << "a dry run prints nothing";
        }
        if (judged) {
            EXPECT_NE(run.out.find("Verdict: "), std::string::npos) << run.out;
        }
        if (!command.excerpt.empty()) {
            EXPECT_EQ(ShapeDifference(command.excerpt, command.excerptLine, run.out), "");
        }
    }
    return tried;
}

// The sections with examples; every command in the README is in one of them.
const std::vector<std::string> kSections = {"Two commands",
                                            "The desktop program",
                                            "Testing a real link",
                                            "Verdicts, events and field reports",
                                            "Recording a test and replaying it",
                                            "Monitoring many links",
                                            "On Windows"};

TEST(ReadmeExamplesTest, EveryCommandIsInASectionThatIsTried)
{
    const std::vector<sCommand> commands = ReadmeCommands();
    EXPECT_GE(commands.size(), 10u) << "the README's examples were not found";
    for (const sCommand& command : commands)
        EXPECT_NE(std::find(kSections.begin(), kSections.end(), command.section), kSections.end())
            << "README.md:" << command.line << ": " << command.text << ": section \"" << command.section
            << "\" is not tried here";
}

TEST(ReadmeExamplesTest, TwoCommands)
{
    EXPECT_EQ(TrySection("Two commands"), 1) << "./dev demo runs; ./dev test is this suite";
}

TEST(ReadmeExamplesTest, TheDesktopProgram)
{
    EXPECT_EQ(TrySection("The desktop program"), 0) << "the desktop opens a window";
}

TEST(ReadmeExamplesTest, TestingARealLink)
{
    EXPECT_GT(TrySection("Testing a real link"), 0);
}

TEST(ReadmeExamplesTest, VerdictsEventsAndFieldReports)
{
    EXPECT_GT(TrySection("Verdicts, events and field reports"), 0);
}

TEST(ReadmeExamplesTest, RecordingATestAndReplayingIt)
{
    EXPECT_GT(TrySection("Recording a test and replaying it"), 0);
}

TEST(ReadmeExamplesTest, MonitoringManyLinks)
{
    EXPECT_EQ(TrySection("Monitoring many links"), 2) << "both read the README's configuration in a dry run";
}

TEST(ReadmeExamplesTest, OnWindows)
{
    EXPECT_EQ(TrySection("On Windows"), 0) << "the Windows build and tolvar.exe, which the suite runs under wine";
}

// The comparison itself, on lines whose shape is known.
TEST(ReadmeExamplesTest, AnExcerptMatchesWhatDiffersOnlyInNumbersRatingsPaddingAndChance)
{
    const std::vector<std::string> excerpt = {"CMR Type 0   Perfect   31   100.00%", "",
                                              "Received a Total of 58 Packets", "Gap rule, CMR Type 5: 1 lost, 0 late"};
    EXPECT_EQ(ShapeDifference(excerpt, 1, "CMR Type 5 Very Good 7 98.1%\n\n  Received a Total of 9 Packets\n"), "");
    EXPECT_EQ(ShapeDifference(excerpt, 1,
                              "CMR Type 0 Poor 1 0%\n\nReceived a Total of 1 Packets\n    whole link out from 1.0 s to "
                              "3.0 s, 2.0 s\nGap rule, CMR Type 0: 1 lost, 0 late\n"),
              "");
    EXPECT_NE(ShapeDifference(excerpt, 1, "CMR Type 0 Perfect 31 100.00%\nReceived a Total of 58 Packets\n"), "")
        << "a blank line less";
    EXPECT_NE(ShapeDifference(excerpt, 1, "CMR Type 0 Perfect 31 100.00%\n\nReceived a Total of 58 Packets\nMore\n"),
              "")
        << "a line more";
    EXPECT_NE(ShapeDifference(excerpt, 1, "CMR Type 0 Perfect 31 100.00%\n\nReceived a total of 58 Packets\n"), "")
        << "a word changed";
    EXPECT_NE(ShapeDifference(excerpt, 1, "CMR Type 0 Perfect 31 100.00\n\nReceived a Total of 58 Packets\n"), "")
        << "a unit lost";
}

}  // namespace
