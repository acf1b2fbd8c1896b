#include "Diagnostics.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <boost/json/stream_parser.hpp>
#include <boost/system/system_error.hpp>

#include <PlainTextFileParser/JsonBinding.h>
#include <PlainTextFileParser/detail/CredentialText.h>

#include "CredentialFile.h"

namespace credcheck {

namespace {

// The document as read_json gives it, and its text for when it does not parse.
struct document_source {
    const boost::json::value* document;
    const std::string& text;
};

std::size_t count_items(const std::string& password) {
    return password.empty() ? 0 : 1;
}

template <class Container>
std::size_t count_items(const Container& items) {
    return items.size();
}

std::string without_trailing_newline(std::string text) {
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

// Binds one member the way the parser's binding does: the value form of json_get on the parsed
// document, or, when the document did not parse, the stream form on its text, which fails with
// the parse error.
template <class T>
key_binding bind_key(const document_source& source, const char* key) {
    std::string pointer;
    json_pointer_append(pointer, key);
    try {
        T value;
        if (source.document != nullptr) {
            value = json_get<T>(*source.document, pointer);
        } else {
            std::istringstream stream(source.text);
            value = json_get<T>(stream, pointer);
        }
        return key_binding{key, count_items(value), std::nullopt};
    } catch (const std::runtime_error& failure) {
        return key_binding{key, std::nullopt, without_trailing_newline(failure.what())};
    }
}

using key_binder = key_binding (*)(const document_source&, const char*);

struct member_binder {
    const char* key;
    key_binder bind;
};

// The field type of each document member, in binding order (the order of PLAIN_TEXT_KEYS).
const member_binder MEMBER_BINDERS[] = {
    {KEY_CONNECTION_CREDENTIALS, &bind_key<std::map<std::string, std::string>>},
    {KEY_TARGET_SYSTEMS, &bind_key<std::vector<std::string>>},
    {KEY_KMS_CREDENTIALS, &bind_key<std::vector<std::string>>},
    {KEY_BMC_CREDENTIALS, &bind_key<std::vector<std::string>>},
    {KEY_PRIVPASSWORD, &bind_key<std::string>},
    {KEY_NEWPASSWORD, &bind_key<std::string>},
};
static_assert(std::size(MEMBER_BINDERS) == std::size(PLAIN_TEXT_KEYS),
              "every document member needs a binder");

std::vector<key_binding> bind_keys(const document_source& source) {
    std::vector<key_binding> keys;
    for (const member_binder& member : MEMBER_BINDERS) {
        keys.push_back(member.bind(source, member.key));
    }
    return keys;
}

bool has_credential(const plain_text_info& info, std::string_view alias) {
    return info.connection_credentials.count(std::string(alias)) != 0;
}

// The entries of the three lists that name an alias without a credential, in list order.
std::vector<unknown_alias> find_unknown_aliases(const plain_text_info& info) {
    std::vector<unknown_alias> unknown;
    for (const std::string& entry : info.target_systems) {
        const plain_text_detail::target_entry target = plain_text_detail::split_target_entry(entry);
        if (!has_credential(info, target.alias)) {
            unknown.push_back({KEY_TARGET_SYSTEMS, entry, std::string(target.alias)});
        }
    }
    const std::pair<const char*, const std::vector<std::string>*> alias_lists[] = {
        {KEY_KMS_CREDENTIALS, &info.kms_credentials},
        {KEY_BMC_CREDENTIALS, &info.bmc_credentials},
    };
    for (const auto& [list, aliases] : alias_lists) {
        for (const std::string& alias : *aliases) {
            if (!has_credential(info, alias)) {
                unknown.push_back({list, alias, alias});
            }
        }
    }
    return unknown;
}

parse_failure failure_at(const std::string& text, std::size_t offset, std::string message) {
    offset = std::min(offset, text.size());
    const auto begin = text.begin();
    const auto stop = begin + static_cast<std::ptrdiff_t>(offset);
    const std::size_t newlines = static_cast<std::size_t>(std::count(begin, stop, '\n'));
    const std::size_t line_start = offset == 0 ? std::string::npos : text.rfind('\n', offset - 1);
    const std::size_t column = line_start == std::string::npos ? offset + 1 : offset - line_start;
    return parse_failure{std::move(message), newlines + 1, column};
}

}  // namespace

std::optional<parse_failure> locate_parse_error(const std::string& text) {
    boost::json::stream_parser parser(boost::json::storage_ptr(), credential_parse_options());
    boost::system::error_code ec;
    std::size_t offset = parser.write(text.data(), text.size(), ec);
    if (!ec) {
        parser.finish(ec);
        offset = text.size();
    }
    if (!ec) {
        return std::nullopt;
    }
    return failure_at(text, offset, ec.message());
}

std::optional<std::string> permission_warning(const std::string& path, mode_t mode) {
    if ((mode & 077) == 0) {
        return std::nullopt;
    }
    char octal[8];
    std::snprintf(octal, sizeof octal, "%04o", static_cast<unsigned>(mode & 07777));
    return "permissions " + std::string(octal) + " for '" + path +
           "' are too open; credential files should be readable by their owner only (chmod 600)";
}

diagnostics diagnose(const std::string& path) {
    diagnostics result;
    const credential_file file = read_credential_file(path);
    if (!file.error.empty()) {
        result.file_error = file.error;
        return result;
    }
    if (file.mode) {
        result.permissions = permission_warning(path, *file.mode);
    }

    std::optional<boost::json::value> document;
    try {
        std::istringstream stream(file.text);
        document = read_json(stream);
    } catch (const boost::system::system_error& error) {
        result.parse_error = locate_parse_error(file.text);
        if (!result.parse_error) {
            // The two parsers disagree; keep read_json's reason, at the end of the text.
            result.parse_error = failure_at(file.text, file.text.size(), error.code().message());
        }
    }

    const document_source source{document ? &*document : nullptr, file.text};
    result.keys = bind_keys(source);
    if (document) {
        result.unknown_aliases =
            find_unknown_aliases(boost::json::value_to<plain_text_info>(*document));
    }
    return result;
}

}  // namespace credcheck
