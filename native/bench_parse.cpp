// Times gumbo's parse alone against velkaron::Tree construction (parse, root handle, element
// index, zero-context index) on the same input, so the cost of the parse-time indexes is a
// ratio that does not depend on the machine. The two are interleaved per repetition, and
// their order alternates, so drift and cache warmth hit both alike.
//
//   bench_parse FILE [--reps N] [--min-seconds S] [--clock cpu|wall] [--only parse|tree] [--json]
//
// Without --reps, the repetition count is chosen from a warm-up run so that the whole run
// takes about --min-seconds (default 3), with at least 5 repetitions. Construction is timed
// by default with the calling thread's CPU clock, which time spent descheduled on a busy
// machine does not inflate; --clock wall uses the monotonic clock instead. Freeing is always
// timed with the monotonic clock, since a large tree is freed on a helper thread. --only runs
// one side (for profilers); --json prints one JSON object instead of the table.

#include <gumbo.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "document/parser.h"
#include "document/tree.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool use_cpu_clock = true;

// Seconds on the clock chosen for construction timings.
double construction_clock() {
    if (use_cpu_clock) {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
    }
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

double median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

// The options Tree uses (see parse_document): the defaults, with error recording off.
GumboOptions tree_parse_options() {
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    return options;
}

struct Sample {
    double parse = 0.0;           // gumbo_parse_with_options alone
    double parse_destroy = 0.0;   // freeing that output
    double tree = 0.0;            // velkaron::Tree construction
    double tree_destroy = 0.0;    // ~Tree: output, indexes, handle cache
    double element_index = 0.0;   // the index build, as Tree itself measures it (monotonic)
};

void time_parse(const std::string& html, Sample& sample) {
    static const GumboOptions options = tree_parse_options();
    const char* text = html.c_str();
    const double begin = construction_clock();
    GumboOutput* output = gumbo_parse_with_options(&options, text, std::strlen(text));
    sample.parse = construction_clock() - begin;
    const auto start = Clock::now();
    velkaron::destroy_document(output, std::strlen(text));
    sample.parse_destroy = seconds_since(start);
}

void time_tree(const std::string& html, Sample& sample) {
    const double begin = construction_clock();
    auto tree = std::make_unique<velkaron::Tree>(html);
    sample.tree = construction_clock() - begin;
    sample.element_index = tree->get_index_build_time();
    const auto start = Clock::now();
    tree.reset();
    sample.tree_destroy = seconds_since(start);
}

struct Options {
    std::string path;
    long reps = 0;
    double min_seconds = 3.0;
    bool run_parse = true;
    bool run_tree = true;
    bool json = false;
};

[[noreturn]] void usage(const char* message) {
    std::fprintf(stderr, "bench_parse: %s\n", message);
    std::fprintf(stderr,
                 "usage: bench_parse FILE [--reps N] [--min-seconds S] [--clock cpu|wall] "
                 "[--only parse|tree] [--json]\n");
    std::exit(2);
}

Options parse_arguments(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) usage(("missing value after " + arg).c_str());
            return argv[++i];
        };
        if (arg == "--reps") {
            options.reps = std::strtol(value().c_str(), nullptr, 10);
            if (options.reps < 1) usage("--reps must be at least 1");
        } else if (arg == "--min-seconds") {
            options.min_seconds = std::strtod(value().c_str(), nullptr);
        } else if (arg == "--only") {
            const std::string which = value();
            if (which != "parse" && which != "tree") usage("--only takes parse or tree");
            options.run_parse = which == "parse";
            options.run_tree = which == "tree";
        } else if (arg == "--clock") {
            const std::string which = value();
            if (which != "cpu" && which != "wall") usage("--clock takes cpu or wall");
            use_cpu_clock = which == "cpu";
        } else if (arg == "--json") {
            options.json = true;
        } else if (!arg.empty() && arg[0] == '-') {
            usage(("unknown option " + arg).c_str());
        } else if (options.path.empty()) {
            options.path = arg;
        } else {
            usage("only one input file");
        }
    }
    if (options.path.empty()) usage("no input file");
    return options;
}

std::string json_escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
            out += buffer;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse_arguments(argc, argv);
    std::ifstream file(options.path, std::ios::binary);
    if (!file) usage(("cannot read " + options.path).c_str());
    const std::string html((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());

    // Warm-up: first-touch page faults and lazy initialisation are not what we measure.
    Sample warm;
    if (options.run_parse) time_parse(html, warm);
    if (options.run_tree) time_tree(html, warm);
    long reps = options.reps;
    if (reps == 0) {
        const double per_rep = std::max(warm.parse + warm.tree, 1e-6);
        reps = std::clamp(static_cast<long>(options.min_seconds / per_rep), 5L, 2000L);
    }

    std::vector<Sample> samples(static_cast<std::size_t>(reps));
    for (long i = 0; i < reps; ++i) {
        Sample& sample = samples[static_cast<std::size_t>(i)];
        if (i % 2 == 0) {
            if (options.run_parse) time_parse(html, sample);
            if (options.run_tree) time_tree(html, sample);
        } else {
            if (options.run_tree) time_tree(html, sample);
            if (options.run_parse) time_parse(html, sample);
        }
    }

    auto median_of = [&](double Sample::*field) {
        std::vector<double> values;
        values.reserve(samples.size());
        for (const Sample& sample : samples) values.push_back(sample.*field);
        return median(values);
    };
    const double parse = median_of(&Sample::parse);
    const double tree = median_of(&Sample::tree);
    const double element_index = median_of(&Sample::element_index);
    const double ratio = options.run_parse && options.run_tree && parse > 0 ? tree / parse : 0.0;
    // What the Tree adds to the parse: both indexes, the root handle and its cache entry.
    const double beyond_parse = options.run_parse && options.run_tree ? tree - parse : 0.0;

    std::size_t elements = 0;
    std::size_t index_bytes = 0;
    std::size_t parser_bytes = 0;
    {
        velkaron::Tree counted(html);
        elements = counted.get_indexed_element_count();
        index_bytes = counted.index_memory_bytes();
        parser_bytes = counted.parser_memory_bytes();
    }
    const double per_element = elements > 0 ? 1.0 / static_cast<double>(elements) : 0.0;
    // Construction and freeing together, against gumbo's parse and free with its own allocator.
    const double parse_cycle = parse + median_of(&Sample::parse_destroy);
    const double tree_cycle = tree + median_of(&Sample::tree_destroy);
    const double cycle_ratio =
        options.run_parse && options.run_tree && parse_cycle > 0 ? tree_cycle / parse_cycle : 0.0;

    if (options.json) {
        std::printf(
            "{\"file\": \"%s\", \"bytes\": %zu, \"elements\": %zu, \"reps\": %ld, "
            "\"clock\": \"%s\", "
            "\"parse_s\": %.9f, \"tree_s\": %.9f, \"ratio\": %.4f, "
            "\"beyond_parse_s\": %.9f, \"element_index_s\": %.9f, "
            "\"parse_destroy_s\": %.9f, \"tree_destroy_s\": %.9f, \"cycle_ratio\": %.4f, "
            "\"index_bytes_per_element\": %.1f, \"parser_bytes_per_element\": %.1f}\n",
            json_escape(options.path).c_str(), html.size(), elements, reps,
            use_cpu_clock ? "thread CPU time" : "monotonic", parse, tree, ratio,
            beyond_parse, element_index, median_of(&Sample::parse_destroy),
            median_of(&Sample::tree_destroy), cycle_ratio,
            static_cast<double>(index_bytes) * per_element,
            static_cast<double>(parser_bytes) * per_element);
        return 0;
    }
    std::printf("%s: %zu bytes, %zu elements, %ld repetitions (medians, %s)\n",
                options.path.c_str(), html.size(), elements, reps,
                use_cpu_clock ? "thread CPU time" : "monotonic clock");
    if (options.run_parse) {
        std::printf("  gumbo parse alone        %10.3f ms   (free %8.3f ms)\n", parse * 1e3,
                    median_of(&Sample::parse_destroy) * 1e3);
    }
    if (options.run_tree) {
        std::printf("  velkaron::Tree           %10.3f ms   (free %8.3f ms)\n", tree * 1e3,
                    median_of(&Sample::tree_destroy) * 1e3);
        std::printf("    index build, as Tree measures it (monotonic) %.3f ms\n",
                    element_index * 1e3);
    }
    if (options.run_parse && options.run_tree) {
        std::printf("    Tree - parse           %10.3f ms\n", beyond_parse * 1e3);
        std::printf("  Tree / parse ratio       %10.3f   (target <= 1.25)\n", ratio);
        std::printf("  (Tree + free) / (parse + free) %6.3f   (target <= 1.05)\n", cycle_ratio);
    }
    std::printf("  bytes per element: indexes and text %.1f, parser output %.1f\n",
                static_cast<double>(index_bytes) * per_element,
                static_cast<double>(parser_bytes) * per_element);
    return 0;
}
