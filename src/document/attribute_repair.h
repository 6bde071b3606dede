#pragma once

#include <gumbo.h>

#include <vector>

namespace velkaron {

// Parsing records no errors (see parse_document), and gumbo 0.10 clears its attribute-name
// buffer after a repeated attribute only when it records that error: a repeated attribute
// written without a value glues its name onto the next attribute's ("selected selected
// value=3" gives "selectedvalue"), which can also make up attributes that are not in the text.
// The span of source text gumbo keeps for such a name covers every glued name, and the real
// name is the last of them. This restores that name, and takes out an attribute whose real
// name the element already has, as the parser does with repeats. Attributes taken out are
// parked and put back before gumbo frees the tree, so gumbo frees them as usual.
class AttributeRepair {
public:
    // While the source text is alive (during construction of the tree).
    void repair(GumboNode* element);
    // Before the tree is freed.
    void restore();

private:
    struct Parked {
        GumboVector* attributes;
        void* attribute;
    };
    std::vector<Parked> parked;
};

}  // namespace velkaron
