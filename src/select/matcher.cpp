#include "select/matcher.h"

#include "document/class_tokens.h"
#include "node/tag_name.h"
#include "node/tree_walk.h"
#include "select/element_access.h"
#include "select/form_values.h"
#include "select/html_states.h"

namespace velkaron::select {

namespace {

bool is_root(const GumboNode* element) {
    return element->parent != nullptr && element->parent->type == GUMBO_NODE_DOCUMENT;
}

// No children but comments and whitespace-only text.
bool is_empty(const GumboNode* element) {
    const GumboVector& children = element->v.element.children;
    for (unsigned int i = 0; i < children.length; ++i) {
        const GumboNodeType type = child_at(&children, i)->type;
        if (type != GUMBO_NODE_COMMENT && type != GUMBO_NODE_WHITESPACE) return false;
    }
    return true;
}

bool same_type(const GumboNode* x, const GumboNode* y) {
    if (x->v.element.tag != y->v.element.tag) return false;
    if (x->v.element.tag_namespace != y->v.element.tag_namespace) return false;
    if (x->v.element.tag != GUMBO_TAG_UNKNOWN) return true;
    const std::string_view a = tag_name_view(x);
    const std::string_view b = tag_name_view(y);
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower_ascii(a[i]) != lower_ascii(b[i])) return false;
    }
    return true;
}

// Is there n >= 0 with a*n + b == position?
bool an_plus_b(std::int64_t a, std::int64_t b, std::int64_t position) {
    if (a == 0) return position == b;
    const std::int64_t steps = position - b;
    return steps % a == 0 && steps / a >= 0;
}

// The value of the attribute an attribute selector names: HTML elements' attribute names
// compare without case, others' as written.
const char* selected_attribute(const Simple& simple, const GumboNode* element) {
    if (is_html(element)) return attribute_value(element, simple.name);
    const GumboVector& attributes = element->v.element.attributes;
    for (unsigned int i = 0; i < attributes.length; ++i) {
        const GumboAttribute* attribute = attribute_at(&attributes, i);
        if (attribute != nullptr && attribute->name != nullptr && attribute->value != nullptr &&
            simple.exact_name == attribute->name) {
            return attribute->value;
        }
    }
    return nullptr;
}

// Sibling lists longer than this have their places computed once per query.
constexpr unsigned int many_siblings = 32;

bool is_html_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool operator_holds(AttributeOp op, std::string_view value, std::string_view wanted) {
    switch (op) {
        case AttributeOp::equals: return value == wanted;
        case AttributeOp::includes: {
            std::size_t i = 0;
            while (i < value.size()) {
                while (i < value.size() && is_html_space(value[i])) ++i;
                const std::size_t begin = i;
                while (i < value.size() && !is_html_space(value[i])) ++i;
                if (value.substr(begin, i - begin) == wanted) return true;
            }
            return false;
        }
        case AttributeOp::dash:
            return value.substr(0, wanted.size()) == wanted &&
                   (value.size() == wanted.size() || value[wanted.size()] == '-');
        case AttributeOp::prefix: return value.substr(0, wanted.size()) == wanted;
        case AttributeOp::suffix:
            return value.size() >= wanted.size() &&
                   value.substr(value.size() - wanted.size()) == wanted;
        case AttributeOp::substring: return value.find(wanted) != std::string_view::npos;
    }
    return false;
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = lower_ascii(c);
    return out;
}

}  // namespace

bool Matcher::matches(const SelectorList& list, const GumboNode* element) {
    for (const Complex& complex : list.selectors) {
        if (matches(complex, element)) return true;
    }
    return false;
}

bool Matcher::matches(const Complex& complex, const GumboNode* element) {
    return match_from(complex, 0, element) == Outcome::matched;
}

Matcher::Outcome Matcher::match_from(const Complex& complex, std::size_t index,
                                     const GumboNode* element) {
    const Compound& compound = complex.compounds[index];
    if (!compound_matches(compound, element)) return Outcome::fails_here;
    const std::size_t next = index + 1;
    if (next == complex.compounds.size()) return Outcome::matched;
    switch (compound.combinator) {
        case Combinator::child: {
            const GumboNode* parent = parent_element(element);
            return parent == nullptr ? Outcome::fails_completely : match_from(complex, next, parent);
        }
        case Combinator::descendant:
            return search_outwards(complex, next, parent_element(element), Combinator::descendant);
        case Combinator::next_sibling: {
            const GumboNode* before = element_sibling(element, -1);
            return before == nullptr ? Outcome::fails_all_siblings : match_from(complex, next, before);
        }
        case Combinator::later_sibling:
            return search_outwards(complex, next, element_sibling(element, -1), Combinator::later_sibling);
        case Combinator::none: break;
    }
    return Outcome::fails_completely;
}

Matcher::Outcome Matcher::search_outwards(const Complex& complex, std::size_t index,
                                          const GumboNode* start, Combinator combinator) {
    const bool upwards = combinator == Combinator::descendant;
    const auto key = [&](const GumboNode* element) {
        return AnswerTable<Outcome>::Key{&complex, element,
                                         static_cast<std::uint32_t>(index) * 2 + (upwards ? 1 : 0)};
    };
    // The search from each element passed on the way ends as the search from `start` does.
    std::vector<const GumboNode*> passed;
    Outcome outcome = upwards ? Outcome::fails_completely : Outcome::fails_all_siblings;
    for (const GumboNode* at = start; at != nullptr;
         at = upwards ? parent_element(at) : element_sibling(at, -1)) {
        if (const auto known = searches.find(key(at))) {
            outcome = *known;
            break;
        }
        passed.push_back(at);
        const Outcome here = match_from(complex, index, at);
        // An ancestor further up may still match where a sibling failed; for siblings, only
        // a failure of this very element leaves the earlier ones to try.
        const bool settled = upwards ? here == Outcome::matched || here == Outcome::fails_completely
                                     : here != Outcome::fails_here;
        if (settled) {
            outcome = here;
            break;
        }
    }
    for (const GumboNode* element : passed) searches.file(key(element), outcome);
    return outcome;
}

bool Matcher::compound_matches(const Compound& compound, const GumboNode* element) {
    for (const Simple& simple : compound.simples) {
        if (!simple_matches(simple, element)) return false;
    }
    return true;
}

bool Matcher::simple_matches(const Simple& simple, const GumboNode* element) {
    switch (simple.kind) {
        case SimpleKind::tag: return element->v.element.tag == simple.tag;
        case SimpleKind::tag_name:
            if (element->v.element.tag != GUMBO_TAG_UNKNOWN) return false;
            // Names of HTML elements compare without case, others as written.
            return is_html(element) ? equals_folded(tag_name_view(element), simple.name)
                                    : real_tag_name(element) == simple.exact_name;
        case SimpleKind::never: return false;
        case SimpleKind::id: {
            const char* id = attribute_value(element, "id");
            return id != nullptr && simple.value == id;
        }
        case SimpleKind::class_name: return class_matches(simple, element);
        case SimpleKind::attribute_exists: return selected_attribute(simple, element) != nullptr;
        case SimpleKind::attribute_value: return attribute_matches(simple, element);
        case SimpleKind::root: return is_root(element);
        case SimpleKind::scope: return scope != nullptr ? element == scope : is_root(element);
        case SimpleKind::empty: return is_empty(element);
        case SimpleKind::any_link: return is_any_link(element);
        case SimpleKind::checked: return forms.is_checked(element);
        case SimpleKind::disabled: return is_disabled(element);
        case SimpleKind::enabled: return is_enabled(element);
        case SimpleKind::required: return is_required(element);
        case SimpleKind::optional: return is_optional(element);
        case SimpleKind::read_only: return is_html(element) && !is_read_write(element, is_editable(element));
        case SimpleKind::read_write: return is_read_write(element, is_editable(element));
        case SimpleKind::defined: return is_defined(element);
        case SimpleKind::lang: return language_matches(element, simple.name);
        case SimpleKind::placeholder_shown: return is_placeholder_shown(element);
        case SimpleKind::open: return is_open(element);
        case SimpleKind::is_default: return forms.is_default(element);
        case SimpleKind::indeterminate: return forms.is_indeterminate(element);
        case SimpleKind::in_range: return range_state(element) == RangeState::in_range;
        case SimpleKind::out_of_range: return range_state(element) == RangeState::out_of_range;
        case SimpleKind::direction:
            return directions.of(element) == (simple.value == "rtl" ? Direction::rtl : Direction::ltr);
        case SimpleKind::nth_child:
        case SimpleKind::nth_last_child:
        case SimpleKind::nth_of_type:
        case SimpleKind::nth_last_of_type: return nth_matches(simple, element);
        case SimpleKind::is: return matches(*simple.nested, element);
        case SimpleKind::is_not: return !matches(*simple.nested, element);
        case SimpleKind::has: return has_matches(simple, element);
    }
    return false;
}

bool Matcher::attribute_matches(const Simple& simple, const GumboNode* element) const {
    const char* value = selected_attribute(simple, element);
    if (value == nullptr) return false;
    const bool fold = simple.value_case == ValueCase::insensitive ||
                      (simple.value_case == ValueCase::by_attribute && is_html(element));
    if (!fold) return operator_holds(simple.op, value, simple.value);
    return operator_holds(simple.op, lowered(value), lowered(simple.value));
}

bool Matcher::class_matches(const Simple& simple, const GumboNode* element) const {
    const char* classes = attribute_value(element, "class");
    if (classes == nullptr) return false;
    bool found = false;
    for_each_class_token(classes, [&](std::string_view token) {
        found = token == simple.value;
        return found;
    });
    return found;
}

bool Matcher::language_matches(const GumboNode* element, std::string_view ranges) {
    if (!document_language) document_language = pragma_language(element);
    const char* fallback = document_language->empty() ? nullptr : document_language->c_str();
    return select::language_matches(languages.of(element, language_set_by, fallback), ranges);
}

bool Matcher::is_editable(const GumboNode* element) {
    return editable.of(element, editable_set_by, false);
}

bool Matcher::nth_matches(const Simple& simple, const GumboNode* element) {
    if (simple.nested && !matches(*simple.nested, element)) return false;
    const bool from_end = simple.kind == SimpleKind::nth_last_child ||
                          simple.kind == SimpleKind::nth_last_of_type;
    const bool of_type = simple.kind == SimpleKind::nth_of_type ||
                         simple.kind == SimpleKind::nth_last_of_type;
    const GumboNode* parent = element->parent;
    const GumboVector* siblings = children_of(parent);
    if (siblings != nullptr && siblings->length > many_siblings && !simple.nested) {
        const Places& places = places_under(parent, of_type);
        const unsigned int i = index_in_parent(element, *siblings);
        if (i < siblings->length) {
            return an_plus_b(simple.a, simple.b, from_end ? places.from_end[i] : places.from_start[i]);
        }
    }
    const int step = from_end ? +1 : -1;
    std::int64_t position = 1;
    for (const GumboNode* sibling = element_sibling(element, step); sibling != nullptr;
         sibling = element_sibling(sibling, step)) {
        const bool counts = of_type ? same_type(sibling, element)
                                    : (!simple.nested || matches(*simple.nested, sibling));
        if (counts) ++position;
    }
    return an_plus_b(simple.a, simple.b, position);
}

const Matcher::Places& Matcher::places_under(const GumboNode* parent, bool of_type) {
    auto& cache = of_type ? type_places : child_places;
    const auto found = cache.find(parent);
    if (found != cache.end()) return found->second;
    const GumboVector& children = *children_of(parent);
    Places places;
    places.from_start.assign(children.length, 0);
    places.from_end.assign(children.length, 0);
    // Per type: the elements seen so far; a type is the first element seen of it.
    std::vector<std::pair<const GumboNode*, std::uint32_t>> counts;
    auto counter = [&](const GumboNode* child) -> std::uint32_t& {
        if (!of_type) {
            if (counts.empty()) counts.emplace_back(child, 0);
            return counts.front().second;
        }
        for (auto& entry : counts) {
            if (same_type(entry.first, child)) return entry.second;
        }
        counts.emplace_back(child, 0);
        return counts.back().second;
    };
    for (unsigned int i = 0; i < children.length; ++i) {
        const GumboNode* child = child_at(&children, i);
        if (is_element_node(child)) places.from_start[i] = ++counter(child);
    }
    for (unsigned int i = 0; i < children.length; ++i) {
        const GumboNode* child = child_at(&children, i);
        if (is_element_node(child)) places.from_end[i] = counter(child) - places.from_start[i] + 1;
    }
    return cache.emplace(parent, std::move(places)).first->second;
}

}  // namespace velkaron::select
