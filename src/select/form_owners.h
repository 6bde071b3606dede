#pragma once

// The states that depend on other controls of the same form or list: :default (a form's
// first submit button, besides what is checked or selected from the start), :indeterminate (a
// radio button whose group has none checked, besides a progress bar without a value) and
// :checked (besides checked inputs, the option a drop-down shows when none is selected).

#include <gumbo.h>

#include <unordered_map>
#include <unordered_set>

namespace velkaron::select {

// Kept for one query: the document's forms and controls are read in one walk, the first time
// an element needs them, and each drop-down's options once, so asking about every element
// stays linear.
class FormStates {
public:
    bool is_default(const GumboNode* element);
    bool is_indeterminate(const GumboNode* element);
    bool is_checked(const GumboNode* element);

private:
    void read_document(const GumboNode* element);

    bool read = false;
    std::unordered_set<const GumboNode*> default_buttons;
    std::unordered_set<const GumboNode*> unsettled_radios;
    // Per drop-down, read once: the option it shows when none is selected, or null.
    std::unordered_map<const GumboNode*, const GumboNode*> shown_options;
};

}  // namespace velkaron::select
