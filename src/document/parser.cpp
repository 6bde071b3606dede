#include "document/parser.h"

#include <cstring>

namespace velkaron {

namespace {

GumboOptions parse_options() {
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    return options;
}

}  // namespace

GumboOutput* parse_document(const std::string& html) {
    const GumboOptions options = parse_options();
    const char* text = html.c_str();
    return gumbo_parse_with_options(&options, text, std::strlen(text));
}

void destroy_document(GumboOutput* output) {
    if (output == nullptr) return;
#if defined(VELKARON_GUMBO_DESTROY_TAKES_OPTIONS)
    gumbo_destroy_output(&kGumboDefaultOptions, output);
#else
    gumbo_destroy_output(output);
#endif
}

}  // namespace velkaron
