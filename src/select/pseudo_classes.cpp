#include "select/pseudo_classes.h"

#include <unordered_map>

namespace velkaron::select {

// Pseudo-classes by lower-case name. Those of user interaction and time never match a
// document at rest, so they compile to `never`, as does :local-link, since a tree knows no
// address of its own; :only-child and :only-of-type compile to two tests.
const PseudoClass* find_pseudo_class(std::string_view name) {
    static const std::unordered_map<std::string_view, PseudoClass> table = {
        {"root", {SimpleKind::root, Argument::none}},
        {"scope", {SimpleKind::scope, Argument::none}},
        {"empty", {SimpleKind::empty, Argument::none}},
        {"link", {SimpleKind::any_link, Argument::none}},
        {"any-link", {SimpleKind::any_link, Argument::none}},
        {"checked", {SimpleKind::checked, Argument::none}},
        {"disabled", {SimpleKind::disabled, Argument::none}},
        {"enabled", {SimpleKind::enabled, Argument::none}},
        {"required", {SimpleKind::required, Argument::none}},
        {"optional", {SimpleKind::optional, Argument::none}},
        {"read-only", {SimpleKind::read_only, Argument::none}},
        {"read-write", {SimpleKind::read_write, Argument::none}},
        {"defined", {SimpleKind::defined, Argument::none}},
        {"placeholder-shown", {SimpleKind::placeholder_shown, Argument::none}},
        {"open", {SimpleKind::open, Argument::none}},
        {"default", {SimpleKind::is_default, Argument::none}},
        {"indeterminate", {SimpleKind::indeterminate, Argument::none}},
        {"in-range", {SimpleKind::in_range, Argument::none}},
        {"out-of-range", {SimpleKind::out_of_range, Argument::none}},
        {"dir", {SimpleKind::direction, Argument::direction}},
        {"first-child", {SimpleKind::nth_child, Argument::none, 0, 1}},
        {"last-child", {SimpleKind::nth_last_child, Argument::none, 0, 1}},
        {"first-of-type", {SimpleKind::nth_of_type, Argument::none, 0, 1}},
        {"last-of-type", {SimpleKind::nth_last_of_type, Argument::none, 0, 1}},
        {"hover", {SimpleKind::never, Argument::none}},
        {"active", {SimpleKind::never, Argument::none}},
        {"focus", {SimpleKind::never, Argument::none}},
        {"focus-visible", {SimpleKind::never, Argument::none}},
        {"focus-within", {SimpleKind::never, Argument::none}},
        {"visited", {SimpleKind::never, Argument::none}},
        {"target", {SimpleKind::never, Argument::none}},
        {"target-within", {SimpleKind::never, Argument::none}},
        {"local-link", {SimpleKind::never, Argument::none}},
        {"current", {SimpleKind::never, Argument::optional_selectors}},
        {"past", {SimpleKind::never, Argument::none}},
        {"future", {SimpleKind::never, Argument::none}},
        {"playing", {SimpleKind::never, Argument::none}},
        {"paused", {SimpleKind::never, Argument::none}},
        {"seeking", {SimpleKind::never, Argument::none}},
        {"buffering", {SimpleKind::never, Argument::none}},
        {"stalled", {SimpleKind::never, Argument::none}},
        {"muted", {SimpleKind::never, Argument::none}},
        {"volume-locked", {SimpleKind::never, Argument::none}},
        {"user-invalid", {SimpleKind::never, Argument::none}},
        {"user-valid", {SimpleKind::never, Argument::none}},
        {"autofill", {SimpleKind::never, Argument::none}},
        {"fullscreen", {SimpleKind::never, Argument::none}},
        {"picture-in-picture", {SimpleKind::never, Argument::none}},
        {"popover-open", {SimpleKind::never, Argument::none}},
        {"is", {SimpleKind::is, Argument::forgiving}},
        {"where", {SimpleKind::is, Argument::forgiving}},
        {"matches", {SimpleKind::is, Argument::selectors}},
        {"any", {SimpleKind::is, Argument::selectors}},
        {"not", {SimpleKind::is_not, Argument::selectors}},
        {"has", {SimpleKind::has, Argument::relative}},
        {"nth-child", {SimpleKind::nth_child, Argument::nth_of}},
        {"nth-last-child", {SimpleKind::nth_last_child, Argument::nth_of}},
        {"nth-of-type", {SimpleKind::nth_of_type, Argument::nth}},
        {"nth-last-of-type", {SimpleKind::nth_last_of_type, Argument::nth}},
        {"lang", {SimpleKind::lang, Argument::languages}},
    };
    const auto found = table.find(name);
    return found == table.end() ? nullptr : &found->second;
}

bool is_pseudo_element_name(std::string_view name) {
    return name == "before" || name == "after" || name == "first-line" || name == "first-letter";
}

}  // namespace velkaron::select
