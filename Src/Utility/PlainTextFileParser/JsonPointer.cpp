// Kept apart from the binding: Boost String Algorithms and Boost.JSON's map conversion do not
// compile together in one translation unit with Boost 1.81.

#include <PlainTextFileParser/JsonBinding.h>

#include <boost/algorithm/string/replace.hpp>

std::string& json_pointer_append(std::string& pointer, const std::string& token) {
    const std::string escaped = boost::algorithm::replace_all_copy(
        boost::algorithm::replace_all_copy(token, "~", "~0"), "/", "~1");
    if (pointer.empty() || pointer.back() != '/') {
        pointer += '/';
    }
    pointer += escaped;
    return pointer;
}
