#include "select/form_values.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>

#include "select/element_access.h"
#include "select/html_states.h"

namespace velkaron::select {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A place on an input's scale: dates, months and weeks count whole steps, times seconds.
struct Point {
    std::int64_t whole = 0;
    double part = 0;
};

bool operator<(const Point& x, const Point& y) {
    return x.whole != y.whole ? x.whole < y.whole : x.part < y.part;
}

// The length of the number at the start of `text`, 0 when none starts it.
std::size_t number_length(std::string_view text) {
    const std::size_t n = text.size();
    std::size_t i = 0;
    if (i < n && text[i] == '-') ++i;
    const std::size_t integer_start = i;
    while (i < n && is_digit(text[i])) ++i;
    const bool integer = i > integer_start;
    if (i + 1 < n && text[i] == '.' && is_digit(text[i + 1])) {
        for (i += 2; i < n && is_digit(text[i]);) ++i;
    } else if (!integer) {
        return 0;
    }
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < n && (text[j] == '-' || text[j] == '+')) ++j;
        if (j < n && is_digit(text[j])) {
            while (j < n && is_digit(text[j])) ++j;
            i = j;
        }
    }
    return i;
}

// Too large to hold is no number; too small to hold is zero.
std::optional<double> to_double(std::string_view number) {
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error == std::errc()) return value;
    const std::size_t exponent = number.find_first_of("eE");
    const bool shrinks = exponent != std::string_view::npos && number.substr(exponent + 1, 1) == "-";
    if (error == std::errc::result_out_of_range && shrinks) return 0.0;
    return std::nullopt;
}

class Reader {
public:
    explicit Reader(std::string_view text) : text(text) {}

    bool done() const { return at == text.size(); }
    bool accept(char c) {
        if (at >= text.size() || text[at] != c) return false;
        ++at;
        return true;
    }
    // Between `least` and `most` digits, as a number.
    std::optional<std::int64_t> digits(std::size_t least, std::size_t most) {
        std::int64_t value = 0;
        std::size_t count = 0;
        for (; at < text.size() && is_digit(text[at]); ++at, ++count) {
            if (count == most) return std::nullopt;
            value = value * 10 + (text[at] - '0');
        }
        if (count < least) return std::nullopt;
        return value;
    }
    // A fraction of a second after '.': one to three digits.
    std::optional<double> fraction() {
        const std::size_t start = at;
        if (!digits(1, 3)) return std::nullopt;
        return to_double("0." + std::string(text.substr(start, at - start)));
    }

private:
    std::string_view text;
    std::size_t at = 0;
};

bool is_leap(std::int64_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

// 0 for Sunday.
std::int64_t weekday_of_new_year(std::int64_t year) {
    const std::int64_t y = year - 1;
    return (1 + 5 * (y % 4) + 4 * (y % 100) + 6 * (y % 400)) % 7;
}

std::int64_t weeks_in(std::int64_t year) {
    const std::int64_t first = weekday_of_new_year(year);
    return first == 4 || (first == 3 && is_leap(year)) ? 53 : 52;
}

// Years have four digits or more (twelve at most here) and start at 1.
std::optional<std::int64_t> year(Reader& in) {
    const auto found = in.digits(4, 12);
    return found && *found > 0 ? found : std::nullopt;
}

std::optional<std::int64_t> month_count(Reader& in) {
    const auto y = year(in);
    if (!y || !in.accept('-')) return std::nullopt;
    const auto m = in.digits(2, 2);
    if (!m || *m < 1 || *m > 12) return std::nullopt;
    return *y * 12 + (*m - 1);
}

std::optional<std::int64_t> day_count(Reader& in) {
    const auto months = month_count(in);
    if (!months || !in.accept('-')) return std::nullopt;
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const std::int64_t m = *months % 12;
    const std::int64_t longest = days[m] + (m == 1 && is_leap(*months / 12) ? 1 : 0);
    const auto d = in.digits(2, 2);
    if (!d || *d < 1 || *d > longest) return std::nullopt;
    return *months * 31 + (*d - 1);
}

std::optional<std::int64_t> week_count(Reader& in) {
    const auto y = year(in);
    if (!y || !in.accept('-') || !in.accept('W')) return std::nullopt;
    const auto w = in.digits(2, 2);
    if (!w || *w < 1 || *w > weeks_in(*y)) return std::nullopt;
    return *y * 53 + (*w - 1);
}

std::optional<double> seconds(Reader& in) {
    const auto h = in.digits(2, 2);
    if (!h || *h > 23 || !in.accept(':')) return std::nullopt;
    const auto m = in.digits(2, 2);
    if (!m || *m > 59) return std::nullopt;
    double total = static_cast<double>(*h * 3600 + *m * 60);
    if (!in.accept(':')) return total;
    const auto s = in.digits(2, 2);
    if (!s || *s > 59) return std::nullopt;
    total += static_cast<double>(*s);
    if (!in.accept('.')) return total;
    const auto part = in.fraction();
    return part ? std::optional<double>(total + *part) : std::nullopt;
}

enum class Scale { number, date, month, week, time, local_time };

std::optional<Scale> scale_of(std::string_view type) {
    if (type == "number") return Scale::number;
    if (type == "date") return Scale::date;
    if (type == "month") return Scale::month;
    if (type == "week") return Scale::week;
    if (type == "time") return Scale::time;
    if (type == "datetime-local") return Scale::local_time;
    return std::nullopt;
}

std::optional<double> number(const char* attribute) {
    return attribute != nullptr && is_valid_number(attribute) ? to_double(attribute) : std::nullopt;
}

// A value, min or max as the input's type reads it; nothing when it does not.
std::optional<Point> read_point(Scale scale, const char* attribute) {
    if (attribute == nullptr) return std::nullopt;
    const std::string_view text = attribute;
    if (scale == Scale::number) {
        const auto found = number(attribute);
        return found ? std::optional<Point>(Point{0, *found}) : std::nullopt;
    }
    Reader in(text);
    Point point;
    std::optional<std::int64_t> whole = 0;
    std::optional<double> part = 0.0;
    switch (scale) {
        case Scale::date: whole = day_count(in); break;
        case Scale::month: whole = month_count(in); break;
        case Scale::week: whole = week_count(in); break;
        case Scale::time: part = seconds(in); break;
        case Scale::local_time:
            whole = day_count(in);
            part = whole && (in.accept('T') || in.accept(' ')) ? seconds(in) : std::nullopt;
            break;
        case Scale::number: break;
    }
    if (!whole || !part || !in.done()) return std::nullopt;
    point.whole = *whole;
    point.part = *part;
    return point;
}

bool inside_datalist(const GumboNode* element) {
    for (const GumboNode* up = parent_element(element); up != nullptr; up = parent_element(up)) {
        if (is_html_tag(up, GUMBO_TAG_DATALIST)) return true;
    }
    return false;
}

// A range input keeps its value between min and max, so only a max below min puts it out.
RangeState slider_state(const GumboNode* input) {
    const double low = number(attribute_value(input, "min")).value_or(0);
    const double high = number(attribute_value(input, "max")).value_or(100);
    return high < low ? RangeState::out_of_range : RangeState::in_range;
}

}  // namespace

bool is_valid_number(std::string_view text) {
    return !text.empty() && number_length(text) == text.size() && to_double(text).has_value();
}

RangeState range_state(const GumboNode* element) {
    if (!is_html_tag(element, GUMBO_TAG_INPUT)) return RangeState::unlimited;
    const std::string type = input_type(element);
    const auto scale = scale_of(type);
    if (!scale && type != "range") return RangeState::unlimited;
    if (is_disabled(element) || (has_attribute(element, "readonly") && readonly_applies(element)) ||
        inside_datalist(element)) {
        return RangeState::unlimited;
    }
    if (!scale) return slider_state(element);
    const auto low = read_point(*scale, attribute_value(element, "min"));
    const auto high = read_point(*scale, attribute_value(element, "max"));
    if (!low && !high) return RangeState::unlimited;
    const auto value = read_point(*scale, attribute_value(element, "value"));
    if (!value) return RangeState::in_range;
    // Times wrap at midnight: a max before the min allows the hours from min round to max.
    if (*scale == Scale::time && low && high && *high < *low) {
        return *high < *value && *value < *low ? RangeState::out_of_range : RangeState::in_range;
    }
    const bool out = (low && *value < *low) || (high && *high < *value);
    return out ? RangeState::out_of_range : RangeState::in_range;
}

}  // namespace velkaron::select
