// Selector text to a compiled selector list: recursive descent over the grammar of selector
// lists, complex and compound selectors, with the nesting bounded before each descent.

#include "select/parser.h"

#include <algorithm>

#include "select/css_reader.h"
#include "select/pseudo_classes.h"
#include "select/html_states.h"

namespace velkaron::select {

namespace {

Combinator combinator_for(char c) {
    switch (c) {
        case '>': return Combinator::child;
        case '+': return Combinator::next_sibling;
        case '~': return Combinator::later_sibling;
        default: return Combinator::none;
    }
}

// How deep matching a list recurses: a compound costs one level, and its nested lists add
// theirs on top of the compounds to its right.
std::size_t match_depth(const SelectorList& list) {
    std::size_t deepest = 0;
    for (const Complex& complex : list.selectors) {
        for (std::size_t i = 0; i < complex.compounds.size(); ++i) {
            std::size_t nested = 0;
            for (const Simple& simple : complex.compounds[i].simples) {
                if (simple.nested) nested = std::max(nested, match_depth(*simple.nested));
            }
            deepest = std::max(deepest, i + 1 + nested);
        }
    }
    return deepest;
}

Simple simple_with_value(SimpleKind kind, std::string value) {
    Simple simple{kind};
    simple.value = std::move(value);
    return simple;
}

class Parser {
public:
    explicit Parser(std::string_view text) : in(text) {}

    std::shared_ptr<const SelectorList> parse() {
        in.skip_whitespace();
        if (in.at_end()) in.fail("expected a selector, found an empty one");
        auto list = selector_list(false);
        if (!in.at_end()) in.fail("expected ',' or the end, found '" + in.character() + "'");
        if (match_depth(*list) > max_match_depth) {
            in.fail_at(0, "selector too long to match (more than " +
                              std::to_string(max_match_depth) + " nested compounds)");
        }
        return list;
    }

private:
    // A comma-separated list; nested lists end at (and consume) ')'.
    std::shared_ptr<SelectorList> selector_list(bool relative, bool forgiving = false) {
        auto list = std::make_shared<SelectorList>();
        for (;;) {
            in.skip_whitespace();
            if (forgiving && in.accept(',')) continue;
            if (forgiving && in.accept(')')) return list;
            Combinator leading = Combinator::descendant;
            list->selectors.push_back(complex(relative, leading));
            list->leading.push_back(leading);
            in.skip_whitespace();
            if (in.accept(',')) continue;
            if (depth > 0) {
                if (!in.accept(')')) in.fail("expected ',' or ')'");
            }
            return list;
        }
    }

    Complex complex(bool relative, Combinator& leading) {
        std::vector<Compound> left_to_right;
        std::vector<Combinator> between;
        if (relative && combinator_for(in.peek()) != Combinator::none) {
            leading = combinator_for(in.peek());
            in.advance();
            in.skip_whitespace();
        }
        for (;;) {
            Compound next;
            if (!compound(next)) {
                in.fail(left_to_right.empty() && !relative ? "expected a selector"
                                                           : "expected a selector after the combinator");
            }
            left_to_right.push_back(std::move(next));
            const bool spaced = in.skip_whitespace();
            Combinator combinator = combinator_for(in.peek());
            if (combinator != Combinator::none) {
                in.advance();
                in.skip_whitespace();
            } else if (spaced && !in.at_end() && in.peek() != ',' && in.peek() != ')') {
                combinator = Combinator::descendant;
            } else {
                break;
            }
            between.push_back(combinator);
        }
        Complex result;
        result.compounds.assign(std::make_move_iterator(left_to_right.rbegin()),
                                std::make_move_iterator(left_to_right.rend()));
        for (std::size_t i = 0; i + 1 < result.compounds.size(); ++i) {
            result.compounds[i].combinator = between[between.size() - 1 - i];
        }
        // The leftmost compound of a relative selector relates to the :has() element.
        if (relative) result.compounds.back().combinator = leading;
        return result;
    }

    // False when no simple selector comes next.
    bool compound(Compound& out) {
        const std::size_t start = in.position();
        if (in.starts_identifier() || in.peek() == '*' || in.peek() == '|') type_selector(out);
        for (;;) {
            const std::size_t here = in.position();
            if (in.accept('#')) {
                if (!in.starts_identifier()) in.fail("expected an identifier after '#'");
                out.simples.push_back(simple_with_value(SimpleKind::id, in.identifier()));
            } else if (in.accept('.')) {
                if (!in.starts_identifier()) in.fail("expected a class name after '.'");
                out.simples.push_back(simple_with_value(SimpleKind::class_name, in.identifier()));
            } else if (in.accept('[')) {
                out.simples.push_back(attribute());
            } else if (in.accept(':')) {
                pseudo_class(out, here);
            } else {
                break;
            }
        }
        std::stable_sort(out.simples.begin(), out.simples.end(),
                         [](const Simple& x, const Simple& y) { return x.kind < y.kind; });
        return in.position() != start;
    }

    void type_selector(Compound& out) {
        bool any_namespace = true;
        std::string name = "*";
        if (!in.accept('|')) {
            name = in.accept('*') ? "*" : in.identifier();
            if (in.peek() != '|' || in.peek(1) == '=') return add_type(out, name);
            if (name != "*") in.fail("expected no namespace prefix (none is declared)");
            in.advance();
        } else {
            any_namespace = false;  // `|a`: elements in no namespace, which HTML has none of
        }
        if (in.accept('*')) {
            name = "*";
        } else if (in.starts_identifier()) {
            name = in.identifier();
        } else {
            in.fail("expected an element name or '*' after '|'");
        }
        if (!any_namespace) return out.simples.push_back(Simple{SimpleKind::never});
        add_type(out, name);
    }

    static void add_type(Compound& out, const std::string& exact_name) {
        if (exact_name == "*") return;
        const std::string name = ascii_lowered(exact_name);
        const GumboTag tag = gumbo_tagn_enum(name.data(), static_cast<unsigned int>(name.size()));
        Simple simple{SimpleKind::tag_name};
        simple.tag = tag;
        simple.name = name;
        simple.exact_name = exact_name;
        if (tag != GUMBO_TAG_UNKNOWN && name == gumbo_normalized_tagname(tag)) {
            simple.kind = SimpleKind::tag;
        } else {
            simple.tag = GUMBO_TAG_UNKNOWN;
        }
        out.simples.push_back(std::move(simple));
    }

    Simple attribute() {
        in.skip_whitespace();
        if (in.accept('*')) {
            if (!in.accept('|')) in.fail("expected '|' after '*' in the attribute selector");
        } else if (in.peek() == '|' && in.peek(1) != '=') {
            in.fail("expected an attribute name without a namespace");
        }
        if (!in.starts_identifier()) in.fail("expected an attribute name");
        Simple simple{SimpleKind::attribute_exists};
        simple.exact_name = in.identifier();
        simple.name = ascii_lowered(simple.exact_name);
        if (in.peek() == '|' && in.peek(1) != '=') in.fail("expected no namespace prefix (none is declared)");
        in.skip_whitespace();
        if (in.accept(']')) return simple;
        simple.kind = SimpleKind::attribute_value;
        simple.op = attribute_op();
        in.skip_whitespace();
        if (in.peek() == '"' || in.peek() == '\'') {
            simple.value = in.quoted();
        } else if (in.starts_identifier()) {
            simple.value = in.identifier();
        } else {
            in.fail("expected an attribute value (an identifier or a quoted string)");
        }
        in.skip_whitespace();
        if (in.starts_identifier()) {
            const std::size_t flag_at = in.position();
            const std::string flag = ascii_lowered(in.identifier());
            if (flag != "i" && flag != "s") in.fail_at(flag_at, "expected the flag 'i' or 's', or ']'");
            simple.value_case = flag == "i" ? ValueCase::insensitive : ValueCase::sensitive;
            in.skip_whitespace();
        }
        if (!in.accept(']')) in.fail("expected ']' to close the attribute selector");
        if (simple.value_case == ValueCase::by_attribute && !value_ignores_case(simple.name)) {
            simple.value_case = ValueCase::sensitive;
        }
        if (simple.value_case == ValueCase::insensitive) simple.value = ascii_lowered(simple.value);
        if (never_matches(simple)) simple.kind = SimpleKind::never;
        return simple;
    }

    AttributeOp attribute_op() {
        const char c = in.peek();
        if (c == '=') {
            in.advance();
            return AttributeOp::equals;
        }
        if (in.peek(1) == '=') {
            const AttributeOp op = c == '~' ? AttributeOp::includes
                                 : c == '|' ? AttributeOp::dash
                                 : c == '^' ? AttributeOp::prefix
                                 : c == '$' ? AttributeOp::suffix
                                 : c == '*' ? AttributeOp::substring
                                            : AttributeOp::equals;
            if (c == '~' || c == '|' || c == '^' || c == '$' || c == '*') {
                in.advance(2);
                return op;
            }
        }
        in.fail("expected ']' or an operator (=, ~=, |=, ^=, $=, *=)");
    }

    // Values that no attribute can have for the operator: a whitespace-separated word that is
    // empty or holds whitespace, an empty prefix, suffix or substring.
    static bool never_matches(const Simple& simple) {
        switch (simple.op) {
            case AttributeOp::includes:
                return simple.value.empty() ||
                       simple.value.find_first_of(" \t\n\r\f") != std::string::npos;
            case AttributeOp::prefix:
            case AttributeOp::suffix:
            case AttributeOp::substring: return simple.value.empty();
            default: return false;
        }
    }

    void pseudo_class(Compound& out, std::size_t start) {
        if (in.peek() == ':') in.fail_at(start, "pseudo-elements such as '::" + pseudo_name_after(1) + "' are not supported; expected a pseudo-class");
        if (!in.starts_identifier()) in.fail("expected a pseudo-class name after ':'");
        const std::string name = ascii_lowered(in.identifier());
        if (is_pseudo_element_name(name)) {
            in.fail_at(start, "pseudo-elements such as ':" + name + "' are not supported; expected a pseudo-class");
        }
        const bool functional = in.accept('(');
        if (!functional && (name == "only-child" || name == "only-of-type")) {
            const bool of_type = name == "only-of-type";
            for (SimpleKind kind : {of_type ? SimpleKind::nth_of_type : SimpleKind::nth_child,
                                    of_type ? SimpleKind::nth_last_of_type : SimpleKind::nth_last_child}) {
                Simple simple{kind};
                simple.b = 1;
                out.simples.push_back(std::move(simple));
            }
            return;
        }
        const PseudoClass* found = find_pseudo_class(name);
        if (found == nullptr) {
            in.fail_at(start, std::string("unknown pseudo-class ':") + name + (functional ? "()" : "") + "'");
        }
        const bool either = found->argument == Argument::optional_selectors;
        if (!either && functional != (found->argument != Argument::none)) {
            in.fail_at(start, functional ? "expected no '(' after ':" + name + "'"
                                         : "expected '(' after ':" + name + "'");
        }
        const PseudoClass& pseudo = *found;
        Simple simple{pseudo.kind};
        simple.a = pseudo.a;
        simple.b = pseudo.b;
        switch (pseudo.argument) {
            case Argument::none: break;
            case Argument::selectors:
            case Argument::forgiving:
            case Argument::relative: simple.nested = nested(pseudo.argument); break;
            case Argument::nth:
            case Argument::nth_of: nth_argument(simple, pseudo.argument == Argument::nth_of); break;
            case Argument::languages: simple.name = languages(); break;
            case Argument::direction: direction_argument(simple); break;
            case Argument::optional_selectors:
                if (functional) simple.nested = nested(Argument::selectors);
                break;
        }
        out.simples.push_back(std::move(simple));
    }

    // The name after `ahead` colons, for messages only.
    std::string pseudo_name_after(std::size_t ahead) {
        in.advance(ahead);
        return in.starts_identifier() ? in.identifier() : std::string();
    }

    std::shared_ptr<SelectorList> nested(Argument argument) {
        if (depth >= max_nesting) {
            in.fail("selectors nested more than " + std::to_string(max_nesting) + " levels deep");
        }
        ++depth;
        auto list = selector_list(argument == Argument::relative, argument == Argument::forgiving);
        --depth;
        return list;
    }

    // An+B: `odd`, `even`, `3`, `-n+2`, `2n - 1`, `+n`; then `of S` where allowed, then ')'.
    void nth_argument(Simple& simple, bool allow_of) {
        in.skip_whitespace();
        const std::size_t start = in.position();
        const char* expected = "expected An+B (such as 2n+1, odd, even or 3)";
        if ((in.peek() | 0x20) == 'o' || (in.peek() | 0x20) == 'e') {
            const std::string word = in.starts_identifier() ? ascii_lowered(in.identifier()) : "";
            if (word != "odd" && word != "even") in.fail_at(start, expected);
            simple.a = 2;
            simple.b = word == "odd" ? 1 : 0;
        } else {
            long long sign = in.accept('-') ? -1 : 1;
            if (sign > 0) in.accept('+');
            const bool has_digits = in.starts_number();
            const long long number = in.digits();
            if ((in.peek() | 0x20) == 'n') {
                in.advance();
                simple.a = sign * (has_digits ? number : 1);
                in.skip_whitespace();
                if (in.peek() == '+' || in.peek() == '-') {
                    sign = in.peek() == '-' ? -1 : 1;
                    in.advance();
                    in.skip_whitespace();
                    if (!in.starts_number()) in.fail("expected a number after the sign in An+B");
                    simple.b = sign * in.digits();
                }
            } else if (has_digits) {
                simple.b = sign * number;
            } else {
                in.fail_at(start, expected);
            }
        }
        const bool spaced = in.skip_whitespace();
        if (allow_of && spaced && in.starts_identifier()) {
            const std::size_t word_at = in.position();
            if (ascii_lowered(in.identifier()) != "of") in.fail_at(word_at, "expected 'of' or ')'");
            if (!in.skip_whitespace()) in.fail("expected a space after 'of'");
            simple.nested = nested(Argument::selectors);
            return;
        }
        if (!in.accept(')')) in.fail(allow_of ? "expected 'of S' or ')' after An+B" : "expected ')' after An+B");
    }

    // :dir(ltr) or :dir(rtl); any other identifier is a direction no element has.
    void direction_argument(Simple& simple) {
        in.skip_whitespace();
        if (!in.starts_identifier()) in.fail("expected a direction such as ltr or rtl");
        simple.value = ascii_lowered(in.identifier());
        in.skip_whitespace();
        if (!in.accept(')')) in.fail("expected ')' after the direction");
        if (simple.value != "ltr" && simple.value != "rtl") simple.kind = SimpleKind::never;
    }

    // :lang() ranges, lower case, joined by commas.
    std::string languages() {
        std::string joined;
        for (;;) {
            in.skip_whitespace();
            std::string range;
            if (in.peek() == '"' || in.peek() == '\'') {
                range = in.quoted();
            } else if (in.starts_identifier() || in.peek() == '*') {
                if (in.accept('*')) range = "*";
                range += in.starts_identifier() ? in.identifier() : "";
            } else {
                in.fail("expected a language such as 'en' or \"de-CH\"");
            }
            if (range.find(',') != std::string::npos) in.fail("expected a language without commas");
            joined += (joined.empty() ? "" : ",") + ascii_lowered(range);
            in.skip_whitespace();
            if (in.accept(')')) return joined;
            if (!in.accept(',')) in.fail("expected ',' or ')' after the language");
        }
    }

    CssReader in;
    int depth = 0;
};

}  // namespace

std::shared_ptr<const SelectorList> compile(std::string_view text) {
    return Parser(text).parse();
}

}  // namespace velkaron::select
