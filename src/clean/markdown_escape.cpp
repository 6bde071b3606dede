#include "clean/markdown_escape.h"

#include <array>
#include <cctype>

#include "clean/char_classes.h"

namespace velkaron::clean {

namespace {

// A run that would begin a block at the start of a line: "#", "##"..., ">", "-", "+", "*",
// "1." or "1)", or a rule or setext underline of '-', '=' or '_'.
bool opens_block(std::string_view run) {
    const char first = run.front();
    if (first == '>' ) return true;
    const std::size_t same = run.find_first_not_of(first);
    if (same == std::string_view::npos) {
        if (first == '#') return run.size() <= 6;
        return first == '-' || first == '+' || first == '*' || first == '=' || first == '_';
    }
    std::size_t digits = run.find_first_not_of("0123456789");
    return digits > 0 && digits <= 9 && digits + 1 == run.size() &&
           (run[digits] == '.' || run[digits] == ')');
}

bool needs_escape(std::string_view run, std::size_t i, bool pipes) {
    const char c = run[i];
    const char next = i + 1 < run.size() ? run[i + 1] : ' ';
    switch (c) {
        case '\\': case '`': case '*': case '[': case ']':
            return true;
        case '_':
            // Only between letters or digits an underscore cannot delimit emphasis.
            return last_class(run.substr(0, i)) != CharClass::other ||
                   first_class(run.substr(i + 1)) != CharClass::other;
        case '<':
            return std::isalpha(static_cast<unsigned char>(next)) || next == '/' || next == '!' ||
                   next == '?';
        case '&':
            return std::isalnum(static_cast<unsigned char>(next)) != 0 || next == '#';
        case '~':
            // At the edges of a run a strikethrough delimiter may stand next to it.
            return next == '~' || i == 0 || i + 1 == run.size();
        case '|':
            return pipes;
        default:
            return false;
    }
}

// The bytes needs_escape can answer yes for; runs of any others are copied whole.
constexpr std::array<bool, 256> may_need_escape = [] {
    std::array<bool, 256> table{};
    for (const unsigned char c : std::string_view("\\`*[]_<&~|")) table[c] = true;
    return table;
}();

}  // namespace

void append_markdown_escaped(std::string& out, std::string_view run, bool line_start, bool pipes) {
    std::size_t i = 0;
    if (line_start && opens_block(run)) {
        const std::size_t marker = run.find_first_of(".)") != std::string_view::npos &&
                                           std::isdigit(static_cast<unsigned char>(run.front()))
                                       ? run.find_first_of(".)")
                                       : 0;
        out.append(run.substr(0, marker));
        out += '\\';
        out += run[marker];
        i = marker + 1;
    }
    while (i < run.size()) {
        std::size_t plain = i;
        while (plain < run.size() && !may_need_escape[static_cast<unsigned char>(run[plain])]) ++plain;
        out.append(run.substr(i, plain - i));
        if (plain == run.size()) break;
        if (needs_escape(run, plain, pipes)) out += '\\';
        out += run[plain];
        i = plain + 1;
    }
}

}  // namespace velkaron::clean
