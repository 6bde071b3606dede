#include "document/parser.h"

#include <pthread.h>

#include <algorithm>
#include <cstring>

namespace velkaron {

namespace {

// Every level of nesting needs at least three bytes of markup ("<b>"), and gumbo's recursive
// free uses well under 48 bytes of stack per level: 16 bytes of stack per byte of text covers
// the deepest tree a text can produce.
constexpr std::size_t stack_bytes_per_source_byte = 16;
// Trees from texts up to this size are freed on the calling thread.
constexpr std::size_t inline_free_limit = 64 * 1024;

GumboOptions parse_options() {
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    return options;
}

void free_output(GumboOutput* output) {
#if defined(VELKARON_GUMBO_DESTROY_TAKES_OPTIONS)
    gumbo_destroy_output(&kGumboDefaultOptions, output);
#else
    gumbo_destroy_output(output);
#endif
}

void* free_output_thread(void* output) {
    free_output(static_cast<GumboOutput*>(output));
    return nullptr;
}

bool free_on_large_stack(GumboOutput* output, std::size_t stack_size) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return false;
    pthread_t thread;
    const bool started = pthread_attr_setstacksize(&attributes, stack_size) == 0 &&
                         pthread_create(&thread, &attributes, free_output_thread, output) == 0;
    pthread_attr_destroy(&attributes);
    if (started) pthread_join(thread, nullptr);
    return started;
}

}  // namespace

GumboOutput* parse_document(const std::string& html) {
    const GumboOptions options = parse_options();
    const char* text = html.c_str();
    return gumbo_parse_with_options(&options, text, std::strlen(text));
}

void destroy_document(GumboOutput* output, std::size_t source_length) {
    if (output == nullptr) return;
    if (source_length > inline_free_limit) {
        const std::size_t stack_size =
            std::max<std::size_t>(source_length * stack_bytes_per_source_byte, 8u << 20);
        if (free_on_large_stack(output, stack_size)) return;
    }
    free_output(output);
}

}  // namespace velkaron
