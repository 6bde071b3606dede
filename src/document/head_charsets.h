#pragma once

#include <gumbo.h>

#include <string>
#include <vector>

namespace velkaron {

// The charset labels the <meta> children of the parsed document's head declare, in document
// order and lower case (see MetaDeclaration). Only the head counts: a <meta> the parser put in
// the body came after body content, too late to change how the page is read.
std::vector<std::string> head_charset_labels(const GumboNode* root);

}  // namespace velkaron
