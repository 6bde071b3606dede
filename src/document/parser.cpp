#include "document/parser.h"

#include <pthread.h>

#include <algorithm>
#include <cstring>

#include "document/parse_arena.h"

namespace velkaron {

namespace {

// Every level of nesting needs at least three bytes of markup ("<b>"), and gumbo's recursive
// free uses well under 48 bytes of stack per level: 16 bytes of stack per byte of text covers
// the deepest tree a text can produce.
constexpr std::size_t stack_bytes_per_source_byte = 16;

// The lowest address of the calling thread's stack, read once per thread (for the main thread
// glibc reads /proc/self/maps to find it). Null when the platform cannot tell.
const char* stack_floor() {
    thread_local const char* floor = [] {
        pthread_attr_t attributes;
        void* address = nullptr;
        std::size_t size = 0;
        if (pthread_getattr_np(pthread_self(), &attributes) != 0) return static_cast<const char*>(nullptr);
        const bool known = pthread_attr_getstack(&attributes, &address, &size) == 0;
        pthread_attr_destroy(&attributes);
        return known ? static_cast<const char*>(address) : nullptr;
    }();
    return floor;
}

// True when freeing a tree parsed from `source_length` bytes fits in half of the stack left
// on the calling thread.
bool fits_on_this_stack(std::size_t source_length) {
    const char* floor = stack_floor();
    const char here = 0;
    if (floor == nullptr || &here <= floor) return false;
    const auto remaining = static_cast<std::size_t>(&here - floor);
    return source_length * stack_bytes_per_source_byte < remaining / 2;
}

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

GumboOutput* parse_document(const char* text, std::size_t length, ParseArena* arena,
                            bool& in_arena) {
    GumboOptions options = parse_options();
    in_arena = false;
#if defined(VELKARON_GUMBO_HAS_ALLOCATOR)
    if (arena != nullptr) {
        options.allocator = &ParseArena::allocate_in;
        options.deallocator = &ParseArena::deallocate_in;
        options.userdata = arena;
        in_arena = true;
    }
#else
    (void)arena;
#endif
    return gumbo_parse_with_options(&options, text, length);
}

void destroy_document(GumboOutput* output, std::size_t source_length) {
    if (output == nullptr) return;
    if (!fits_on_this_stack(source_length)) {
        const std::size_t stack_size =
            std::max<std::size_t>(source_length * stack_bytes_per_source_byte, 8u << 20);
        if (free_on_large_stack(output, stack_size)) return;
    }
    free_output(output);
}

}  // namespace velkaron
