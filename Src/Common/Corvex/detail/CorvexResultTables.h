#pragma once
// The two message tables behind the result-code registry. Internal to the library: they are not
// exported, and nothing but the registry and its tests reaches them.

#include <map>
#include <string>

namespace corvex::detail {

/// Composed code to message, for the categories 0 and below.
using general_message_table = std::map<int, std::string>;
/// Category to (composed code to message), for the categories 1 and above.
using category_message_table = std::map<int, std::map<int, std::string>>;

}  // namespace corvex::detail

/// The general message table, created on first use and destroyed when the library unloads.
corvex::detail::general_message_table& general_result_messages();

/// The category message table, created on first use and destroyed when the library unloads.
corvex::detail::category_message_table& category_result_messages();
