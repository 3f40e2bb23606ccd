// WQL as the simulated WMI service understands it: SELECT * FROM Class [WHERE condition],
// where a condition compares properties with = (or <>, !=) to unsigned numbers or quoted
// strings (backslash escapes), combined with AND, OR and parentheses. Anything else is a
// query the service does not understand, never an empty answer.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/wmi/value.h"

namespace sim {

struct WqlCondition {
    enum class Kind { Compare, And, Or };
    Kind kind = Kind::Compare;
    // Compare:
    std::u16string property;
    bool notEqual = false;
    std::optional<std::uint64_t> number;  // a number literal, else `text`
    std::u16string text;
    // And, Or:
    std::unique_ptr<WqlCondition> left, right;
};

struct WqlQuery {
    std::u16string className;
    std::unique_ptr<WqlCondition> where;  // null: every instance
};

// Null when the text is not a query of that form.
std::unique_ptr<WqlQuery> ParseWql(std::u16string_view text);

// Whether the instance satisfies the condition. A property the instance lacks, or a literal
// whose kind cannot be compared with the property, is an error (nullopt).
std::optional<bool> Matches(const WqlCondition* where, const WmiInstance& instance);

}  // namespace sim
