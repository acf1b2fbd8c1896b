#pragma once
// The result-code catalogue as data: the name, category, code and message of every RESULT_*
// constant, in registration order. Tools use it to show a code by its constant's name.

#include <cstddef>
#include <iterator>
#include <optional>
#include <string_view>

#include <Corvex/CorvexResult.h>

/// One row of the catalogue.
struct result_code_entry {
    /// Name of the constant, e.g. "RESULT_SUCCEED".
    std::string_view name;
    /// Functional area; 0 holds the general outcomes.
    int category;
    /// Code within the category.
    int code;
    /// The message registered for the code.
    std::string_view message;

    /// The composed value, (category << 16) | code.
    constexpr int composed() const { return corvex::detail::compose_result_code(category, code); }
};

/// Every row of the catalogue, in the order the constants are defined and registered.
inline constexpr result_code_entry result_code_catalogue[] = {
#define CORVEX_RESULT(name, category, code, message) {#name, category, code, message},
#include <Corvex/CorvexResultCatalogue.inc>
#undef CORVEX_RESULT
};

/// The catalogue row whose composed value is `composed_code`, or std::nullopt. Never throws.
constexpr std::optional<result_code_entry> find_result_code(int composed_code) {
    for (const result_code_entry& entry : result_code_catalogue) {
        if (entry.composed() == composed_code) {
            return entry;
        }
    }
    return std::nullopt;
}
