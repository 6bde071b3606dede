#include "document/attribute_repair.h"

#include <cstring>
#include <string>
#include <string_view>

namespace velkaron {

namespace {

// The last name in a glued span, or an empty view when the span holds a single name.
std::string_view last_glued_name(const GumboStringPiece& span) {
    if (span.data == nullptr || span.length == 0) return {};
    const std::string_view text(span.data, span.length);
    const std::size_t cut = text.find_last_of(" \t\n\f\r/");
    if (cut == std::string_view::npos) return {};
    return text.substr(cut + 1);
}

bool named(const GumboAttribute* attribute, std::string_view name) {
    return attribute->name != nullptr && std::string_view(attribute->name) == name;
}

// Restores `source_name` (as the source text spells it) from the end of the glued name. The
// tokenizer lower-cases ASCII letters and replaces bytes that are not UTF-8; the restored name
// is the glued name's own tail, so it is taken only when that tail is the source name
// lower-cased and starts on a character boundary. False when it is not.
bool restore_name(GumboAttribute* attribute, std::string_view source_name) {
    if (attribute->name == nullptr) return false;
    std::string lowered(source_name);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    const std::string_view glued(attribute->name);
    if (glued.size() <= lowered.size() || glued.substr(glued.size() - lowered.size()) != lowered) {
        return false;
    }
    if ((static_cast<unsigned char>(lowered.front()) & 0xC0) == 0x80) return false;
    char* name = const_cast<char*>(attribute->name);
    std::memmove(name, name + glued.size() - lowered.size(), lowered.size());
    name[lowered.size()] = '\0';
    return true;
}

bool repeats_earlier(const GumboVector& attributes, unsigned int count,
                     const GumboAttribute* attribute) {
    if (attribute->name == nullptr) return false;
    for (unsigned int j = 0; j < count; ++j) {
        const auto* earlier = static_cast<const GumboAttribute*>(attributes.data[j]);
        if (earlier != nullptr && named(earlier, attribute->name)) return true;
    }
    return false;
}

}  // namespace

void AttributeRepair::repair(GumboNode* element) {
    GumboVector& attributes = element->v.element.attributes;
    unsigned int kept = 0;
    // Once a name has been restored, any later attribute may repeat it.
    bool restored_any = false;
    for (unsigned int i = 0; i < attributes.length; ++i) {
        auto* attribute = static_cast<GumboAttribute*>(attributes.data[i]);
        if (attribute != nullptr) {
            const std::string_view real = last_glued_name(attribute->original_name);
            if (!real.empty() && restore_name(attribute, real)) restored_any = true;
            if (restored_any && repeats_earlier(attributes, kept, attribute)) {
                parked.push_back(Parked{&attributes, attribute});
                continue;
            }
        }
        attributes.data[kept++] = attribute;
    }
    attributes.length = kept;
}

void AttributeRepair::restore() {
    // Each attribute taken out shortened its vector by one, so there is room to put it back.
    for (const Parked& entry : parked) {
        entry.attributes->data[entry.attributes->length++] = entry.attribute;
    }
    parked.clear();
}

}  // namespace velkaron
