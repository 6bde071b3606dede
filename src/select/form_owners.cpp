#include "select/form_owners.h"

#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "select/element_access.h"
#include "select/html_states.h"

namespace velkaron::select {

namespace {

bool is_submit_button(const GumboNode* element) {
    if (is_html_tag(element, GUMBO_TAG_BUTTON)) {
        // A missing or unknown type submits.
        const char* type = attribute_value(element, "type");
        return type == nullptr || !(equals_folded(type, "reset") || equals_folded(type, "button"));
    }
    if (!is_html_tag(element, GUMBO_TAG_INPUT)) return false;
    const std::string type = input_type(element);
    return type == "submit" || type == "image";
}

bool is_radio(const GumboNode* element) {
    return is_html_tag(element, GUMBO_TAG_INPUT) && input_type(element) == "radio";
}

// A control with the form around it in the document.
struct Control {
    const GumboNode* element;
    const GumboNode* enclosing_form;
};

// What one walk of the document gathers, in document order.
struct Gathered {
    std::vector<Control> buttons;
    std::vector<Control> radios;
    std::unordered_map<std::string_view, const GumboNode*> first_with_id;

    // A form attribute names the form by id (the first element with that id, and only if it
    // is a form); without one, the enclosing form owns the control.
    const GumboNode* owner(const Control& control) const {
        const char* id = attribute_value(control.element, "form");
        if (id == nullptr) return control.enclosing_form;
        const auto found = first_with_id.find(id);
        return found != first_with_id.end() && is_html_tag(found->second, GUMBO_TAG_FORM) ? found->second
                                                                                           : nullptr;
    }
};

// Template contents are no part of the document: the walk does not enter them.
Gathered gather(const GumboNode* top) {
    Gathered gathered;
    std::vector<Control> stack{{top, nullptr}};
    while (!stack.empty()) {
        const Control at = stack.back();
        stack.pop_back();
        const GumboNode* node = at.element;
        const GumboNode* form = at.enclosing_form;
        if (is_element_node(node)) {
            if (const char* id = attribute_value(node, "id")) gathered.first_with_id.emplace(id, node);
            if (is_submit_button(node)) gathered.buttons.push_back(at);
            if (is_radio(node)) gathered.radios.push_back(at);
            if (is_html_tag(node, GUMBO_TAG_FORM)) form = node;
        } else if (node->type != GUMBO_NODE_DOCUMENT) {
            continue;
        }
        const GumboVector* children = children_of(node);
        for (unsigned int i = children != nullptr ? children->length : 0; i > 0; --i) {
            stack.push_back({child_at(children, i - 1), form});
        }
    }
    return gathered;
}

}  // namespace

bool FormStates::is_default(const GumboNode* element) {
    if (is_html_tag(element, GUMBO_TAG_OPTION)) return has_attribute(element, "selected");
    if (is_html_tag(element, GUMBO_TAG_INPUT) && has_attribute(element, "checked")) {
        const std::string type = input_type(element);
        if (type == "checkbox" || type == "radio") return true;
    }
    if (!is_submit_button(element)) return false;
    read_document(element);
    return default_buttons.count(element) != 0;
}

bool FormStates::is_indeterminate(const GumboNode* element) {
    if (is_html_tag(element, GUMBO_TAG_PROGRESS)) return !has_attribute(element, "value");
    if (!is_radio(element) || has_attribute(element, "checked")) return false;
    read_document(element);
    return unsettled_radios.count(element) != 0;
}

bool FormStates::is_checked(const GumboNode* element) {
    if (select::is_checked(element)) return true;
    if (!is_html_tag(element, GUMBO_TAG_OPTION)) return false;
    const GumboNode* select = owning_select(element);
    if (select == nullptr) return false;
    const auto [entry, fresh] = shown_options.try_emplace(select, nullptr);
    if (fresh) entry->second = shown_by_default(select);
    return entry->second == element;
}

void FormStates::read_document(const GumboNode* element) {
    if (read) return;
    read = true;
    const GumboNode* top = element;
    while (top->parent != nullptr) top = top->parent;
    const Gathered gathered = gather(top);
    std::unordered_set<const GumboNode*> forms_with_default;
    for (const Control& button : gathered.buttons) {
        const GumboNode* form = gathered.owner(button);
        if (form != nullptr && forms_with_default.insert(form).second) default_buttons.insert(button.element);
    }
    // A radio group: the radio buttons of one owner (or none) sharing a non-empty name.
    using Group = std::pair<const GumboNode*, std::string_view>;
    std::vector<std::pair<const GumboNode*, Group>> unchecked;
    std::set<Group> checked_groups;
    for (const Control& radio : gathered.radios) {
        const char* name = attribute_value(radio.element, "name");
        const Group group{gathered.owner(radio), name != nullptr ? name : ""};
        if (has_attribute(radio.element, "checked")) {
            if (!group.second.empty()) checked_groups.insert(group);
        } else {
            unchecked.emplace_back(radio.element, group);
        }
    }
    for (const auto& [radio, group] : unchecked) {
        if (group.second.empty() || checked_groups.count(group) == 0) unsettled_radios.insert(radio);
    }
}

}  // namespace velkaron::select
