// The program runs on Linux: no text a person reads may send them to another system's settings,
// folders or permissions. Every string literal of the sources is read as the compiler joins them.
#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace nudgerly {
namespace {

namespace fs = std::filesystem;

struct Literal {
    std::string text;  // adjacent literals joined, runs of blanks as one space
    int line = 0;      // where it starts

    friend bool operator==(const Literal&, const Literal&) = default;
};

bool isWordCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// The string literals of C++ source text, comments skipped; raw strings and escapes are taken as
// written, which is all a search for words needs.
std::vector<Literal> stringLiterals(std::string_view source) {
    std::vector<Literal> found;
    std::size_t i = 0;
    int line = 1;
    bool joinable = false;  // only blanks and comments since the last literal ended
    const auto advance = [&](std::size_t count) {
        for (std::size_t end = std::min(source.size(), i + count); i < end; ++i) {
            line += source[i] == '\n' ? 1 : 0;
        }
    };
    const auto add = [&](std::string text, int at) {
        if (joinable && !found.empty()) {
            found.back().text += text;
        } else {
            found.push_back({std::move(text), at});
        }
        joinable = true;
    };
    while (i < source.size()) {
        const std::string_view rest = source.substr(i);
        if (rest.starts_with("//")) {
            advance(std::min(rest.find('\n'), rest.size()));
        } else if (rest.starts_with("/*")) {
            advance(std::min(rest.find("*/", 2) + 2, rest.size()));
        } else if (rest.starts_with("R\"") && (i == 0 || !isWordCharacter(source[i - 1]) || source[i - 1] == '8' ||
                                               source[i - 1] == 'u' || source[i - 1] == 'U' || source[i - 1] == 'L')) {
            const std::size_t open = rest.find('(');
            const std::string close = ")" + std::string(rest.substr(2, open - 2)) + "\"";
            const std::size_t end = rest.find(close, open);
            const int at = line;
            const std::string text(rest.substr(open + 1, end - open - 1));
            advance(end == std::string_view::npos ? rest.size() : end + close.size());
            add(text, at);
        } else if (rest.front() == '"') {
            std::size_t end = 1;
            while (end < rest.size() && rest[end] != '"') {
                end += rest[end] == '\\' ? 2 : 1;
            }
            const int at = line;
            const std::string text(rest.substr(1, std::min(end, rest.size()) - 1));
            advance(end + 1);
            add(text, at);
        } else if (rest.front() == '\'' && (i == 0 || !std::isalnum(static_cast<unsigned char>(source[i - 1])))) {
            std::size_t end = 1;  // a character literal; after a digit it is a digit separator instead
            while (end < rest.size() && rest[end] != '\'') {
                end += rest[end] == '\\' ? 2 : 1;
            }
            advance(end + 1);
            joinable = false;
        } else {
            joinable = joinable && std::isspace(static_cast<unsigned char>(rest.front())) != 0;
            advance(1);
        }
    }
    for (Literal& literal : found) {
        std::string collapsed;
        for (const char c : literal.text) {
            const bool blank = c == ' ' || c == '\t' || c == '\n';
            if (!blank || (!collapsed.empty() && collapsed.back() != ' ')) {
                collapsed += blank ? ' ' : c;
            }
        }
        literal.text = collapsed;
    }
    return found;
}

// The other platform's words that would mislead here. "from a Mac" stays: the Messages database does
// come from one. Words inside a longer name ("macOSVersion", a wire key) are not text anyone reads.
constexpr std::array<std::string_view, 6> otherPlatformWords{"macOS",  "this Mac",         "System Settings",
                                                             "Finder", "Full Disk Access", "Application Support"};

std::vector<std::string_view> otherPlatformWordsIn(std::string_view text) {
    std::vector<std::string_view> named;
    for (const std::string_view word : otherPlatformWords) {
        for (std::size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
            const std::size_t after = at + word.size();
            if ((at == 0 || !isWordCharacter(text[at - 1])) &&
                (after == text.size() || !isWordCharacter(text[after]))) {
                named.push_back(word);
                break;
            }
        }
    }
    return named;
}

TEST(PlatformWordsTests, LiteralsAreReadAsTheCompilerJoinsThem) {
    const std::string source = R"source(
// macOS in a comment is nobody's text
/* nor "System Settings" here */
const char* split = "Grant Full Disk "
                    // between the halves
                    "Access now";
auto raw = R"x(Open "Finder" )" now)x";
char quote = '"'; int big = 1'000'000; const char* key = "macOSVersion";
const char* wrapped = "this  "
    "Mac"; const char* escaped = "say \"Application Support\"";
)source";
    const std::vector<Literal> literals = stringLiterals(source);
    ASSERT_EQ(literals.size(), 5u);
    EXPECT_EQ(literals[0], (Literal{"Grant Full Disk Access now", 4}));
    EXPECT_EQ(literals[1], (Literal{"Open \"Finder\" )\" now", 7}));
    EXPECT_EQ(literals[2].text, "macOSVersion");
    EXPECT_EQ(literals[3], (Literal{"this Mac", 9}));
    std::vector<std::vector<std::string_view>> named;
    for (const Literal& literal : literals) {
        named.push_back(otherPlatformWordsIn(literal.text));
    }
    using Words = std::vector<std::string_view>;
    EXPECT_EQ(named, (std::vector<Words>{{"Full Disk Access"}, {"Finder"}, {}, {"this Mac"}, {"Application Support"}}));
    EXPECT_EQ(otherPlatformWordsIn("Copy the Messages database from a Mac, not this Machine"), Words{});
}

TEST(PlatformWordsTests, NoTextOfTheProgramNamesTheOtherPlatform) {
    std::vector<std::string> offenders;
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(NUDGERLY_SOURCE_ROOT)) {
        const std::string extension = entry.path().extension().string();
        if (!entry.is_regular_file() || (extension != ".cpp" && extension != ".h" && extension != ".in")) {
            continue;
        }
        ++files;
        std::ifstream file(entry.path());
        std::stringstream text;
        text << file.rdbuf();
        for (const Literal& literal : stringLiterals(text.str())) {
            for (const std::string_view word : otherPlatformWordsIn(literal.text)) {
                offenders.push_back(fs::relative(entry.path(), NUDGERLY_SOURCE_ROOT).string() + ":" +
                                    std::to_string(literal.line) + " names " + std::string(word) + ": " + literal.text);
            }
        }
    }
    EXPECT_GT(files, 100u);  // the sources were found
    EXPECT_EQ(offenders, std::vector<std::string>{});
}

}  // namespace
}  // namespace nudgerly
