#include <Corvex/CorvexResult.h>

#include <cstring>

#include <Corvex/detail/CorvexResultTables.h>

corvex::detail::general_message_table& general_result_messages() {
    static corvex::detail::general_message_table table;
    return table;
}

corvex::detail::category_message_table& category_result_messages() {
    static corvex::detail::category_message_table table;
    return table;
}

int register_result_code(int category, int code, const char* message) {
    const int composed = corvex::detail::compose_result_code(category, code);
    std::string& entry = category > 0 ? category_result_messages()[category][composed]
                                      : general_result_messages()[composed];
    entry.assign(message, std::strlen(message));
    return composed;
}

std::optional<std::string> lookup_result_message(int composed_code) {
    const int category = composed_code >> 16;
    if (category <= 0) {
        const auto& general = general_result_messages();
        if (auto found = general.find(composed_code); found != general.end()) {
            return found->second;
        }
        return std::nullopt;
    }
    const auto& categories = category_result_messages();
    const auto inner = categories.find(category);
    if (inner == categories.end()) {
        return std::nullopt;
    }
    if (auto found = inner->second.find(composed_code); found != inner->second.end()) {
        return found->second;
    }
    return std::nullopt;
}
