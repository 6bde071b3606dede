#pragma once

// The states that depend on other controls of the same form: :default (a form's first
// submit button, besides what is checked or selected from the start) and :indeterminate (a
// radio button whose group has none checked, besides a progress bar without a value).

#include <gumbo.h>

#include <unordered_set>

namespace velkaron::select {

// Kept for one query: the document's forms and controls are read in one walk, the first time
// an element needs them, so asking about every element stays linear.
class FormStates {
public:
    bool is_default(const GumboNode* element);
    bool is_indeterminate(const GumboNode* element);

private:
    void read_document(const GumboNode* element);

    bool read = false;
    std::unordered_set<const GumboNode*> default_buttons;
    std::unordered_set<const GumboNode*> unsettled_radios;
};

}  // namespace velkaron::select
