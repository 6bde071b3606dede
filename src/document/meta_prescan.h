#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velkaron {

// The charset labels that <meta> elements in the first 1024 bytes declare (a charset
// attribute, or an http-equiv="content-type" content), in document order and lower case, read
// the way browsers prescan a page: comments and other tags' attribute values are skipped.
// The caller resolves them; the first label that names an encoding wins.
std::vector<std::string> meta_charset_labels(std::string_view bytes);

// What one <meta> declares, fed its attributes (lower-case names) in source order: the label
// of a charset attribute, or of the charset in the content of an http-equiv="content-type".
// A repeated attribute counts once, its first time, as the parser keeps it.
class MetaDeclaration {
public:
    void add(std::string_view name, std::string_view value);
    // The label in lower case, or none when the element declares no charset.
    std::optional<std::string> label() const;

private:
    std::vector<std::string> seen;
    std::optional<std::string> charset;
    bool got_pragma = false;
    int need_pragma = -1;  // unset; 0: a charset attribute; 1: a content that needs http-equiv
};

}  // namespace velkaron
