#pragma once

// A compiled selector list: what the parser produces and the matcher runs. Every complex
// selector is stored right to left, so matching starts with the compound that tests the
// candidate itself. Names are already lower case and known tag names already tag numbers.

#include <gumbo.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace velkaron::select {

// A selector the parser refuses; the message names the position and what was expected.
class SelectorError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// How a compound relates to the compound on its left.
enum class Combinator : std::uint8_t { none, descendant, child, next_sibling, later_sibling };

// In cost order: a compound's simple selectors are sorted by kind, cheapest first.
enum class SimpleKind : std::uint8_t {
    tag,            // known tag number
    tag_name,       // element name the parser does not number
    never,          // matches nothing (`|a`, an attribute value that can never match)
    id,
    class_name,
    attribute_exists,
    attribute_value,
    root,
    scope,
    empty,
    any_link,
    checked,
    disabled,
    enabled,
    required,
    optional,
    read_only,
    read_write,
    defined,
    lang,
    placeholder_shown,
    open,
    is_default,     // checked and selected by default, and each form's default button
    indeterminate,
    in_range,
    out_of_range,
    direction,      // :dir(), with `value` "ltr" or "rtl"
    nth_child,
    nth_last_child,
    nth_of_type,
    nth_last_of_type,
    is,             // :is(), :where(), and their older names
    is_not,
    has,
};

// Attribute value operators.
enum class AttributeOp : std::uint8_t { equals, includes, dash, prefix, suffix, substring };

// Whether an attribute value compares with case: as the attribute's name decides for HTML
// elements, or as the `i` and `s` flags force.
enum class ValueCase : std::uint8_t { by_attribute, sensitive, insensitive };

struct SelectorList;

struct Simple {
    explicit Simple(SimpleKind kind) : kind(kind) {}

    SimpleKind kind;
    AttributeOp op = AttributeOp::equals;
    ValueCase value_case = ValueCase::by_attribute;
    GumboTag tag = GUMBO_TAG_UNKNOWN;
    // Element or attribute name (lower case), id, class, or the languages of :lang() joined
    // by commas.
    std::string name;
    // The element or attribute name as written: names of SVG and MathML elements and their
    // attributes keep their case.
    std::string exact_name;
    std::string value;
    // An+B of the :nth-* pseudo-classes.
    std::int64_t a = 0;
    std::int64_t b = 0;
    // The argument of :is(), :not(), :has(), and the `of S` filter of :nth-child().
    std::shared_ptr<const SelectorList> nested;
};

struct Compound {
    std::vector<Simple> simples;
    // Relation to the next compound of the complex selector (the one to the left).
    Combinator combinator = Combinator::none;
};

struct Complex {
    std::vector<Compound> compounds;  // rightmost first
};

struct SelectorList {
    std::vector<Complex> selectors;
    // For :has(): the relative selectors' first combinator, per selector.
    std::vector<Combinator> leading;
};

}  // namespace velkaron::select
