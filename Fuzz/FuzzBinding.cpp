// The stream form of json_assign on arbitrary bytes, bound into plain_text_info.
//
// Each input is also parsed here, straight through Boost.JSON with the credential document's
// parse options, and the record that the binding must produce is worked out member by member.
// Checked on every input:
// - json_assign succeeds exactly when that parse succeeds;
// - on failure the pre-filled record is left exactly as it was;
// - on success every field holds what its member gives, or is empty when the member is missing
//   or has the wrong shape (no partial lists or maps);
// - a failed stream-form json_get reports "[assign failure]( >> <type>): <reason>\n";
// - json_pointer_append escapes any text into one reference token that reads back unchanged.

#include <cstddef>
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

#include <boost/json/parse.hpp>
#include <boost/json/value.hpp>

#include <PlainTextFileParser/JsonBinding.h>
#include <PlainTextFileParser/detail/RecordMembers.h>

#include "FuzzSupport.h"

namespace {

using namespace fuzz_support;

plain_text_info prefilled_record() {
    plain_text_info info;
    info.connection_credentials = {{"prefilled-alias", "prefilled-user:prefilled-secret"}};
    info.target_systems = {"prefilled-alias@192.0.2.1"};
    info.kms_credentials = {"prefilled-alias"};
    info.bmc_credentials = {"prefilled-alias", "other"};
    info.privpassword = "prefilled-priv";
    info.newpassword = "prefilled-new";
    return info;
}

const boost::json::value* member(const boost::json::value& document, const char* key) {
    const boost::json::object* object = document.if_object();
    return object == nullptr ? nullptr : object->if_contains(key);
}

// What a member binds to: its value when it has the field's shape, else nothing.
void expect(const boost::json::value* value, std::string& field) {
    if (const boost::json::string* text = value == nullptr ? nullptr : value->if_string()) {
        field.assign(text->data(), text->size());
    }
}

void expect(const boost::json::value* value, std::vector<std::string>& field) {
    const boost::json::array* array = value == nullptr ? nullptr : value->if_array();
    if (array == nullptr) {
        return;
    }
    std::vector<std::string> list;
    for (const boost::json::value& element : *array) {
        const boost::json::string* text = element.if_string();
        if (text == nullptr) {
            return;  // one element that is not a string empties the whole list
        }
        list.emplace_back(text->data(), text->size());
    }
    field = std::move(list);
}

void expect(const boost::json::value* value, std::map<std::string, std::string>& field) {
    const boost::json::object* object = value == nullptr ? nullptr : value->if_object();
    if (object == nullptr) {
        return;
    }
    std::map<std::string, std::string> map;
    for (const auto& entry : *object) {
        const boost::json::string* text = entry.value().if_string();
        if (text == nullptr) {
            return;
        }
        map.emplace(std::string(entry.key()), std::string(text->data(), text->size()));
    }
    field = std::move(map);
}

plain_text_info expected_record(const boost::json::value& document) {
    plain_text_info info;
    plain_text_detail::for_each_member(
        info, [&](const plain_text_detail::member_facts& facts, auto& field) {
            expect(member(document, facts.key), field);
        });
    return info;
}

// Reads the escaped reference token back: "~1" is "/", "~0" is "~"; any other "~" is invalid.
bool unescape_token(const std::string& escaped, std::string& token) {
    token.clear();
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '/') {
            return false;
        }
        if (escaped[i] != '~') {
            token += escaped[i];
            continue;
        }
        if (i + 1 == escaped.size() || (escaped[i + 1] != '0' && escaped[i + 1] != '1')) {
            return false;
        }
        token += escaped[i + 1] == '0' ? '~' : '/';
        ++i;
    }
    return true;
}

void check_pointer_append(const std::string& token) {
    std::string token_back;

    std::string pointer;
    require(&json_pointer_append(pointer, token) == &pointer);
    require(!pointer.empty() && pointer[0] == '/');
    require(unescape_token(pointer.substr(1), token_back) && token_back == token);

    // A pointer that already ends in "/" gets no second one.
    std::string nested = "/outer/";
    json_pointer_append(nested, token);
    require(starts_with(nested, "/outer/"));
    require(unescape_token(nested.substr(7), token_back) && token_back == token);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    boost::system::error_code parse_error;
    const boost::json::value document = boost::json::parse(
        text, parse_error, boost::json::storage_ptr(), credential_parse_options());

    std::istringstream stream(text);
    plain_text_info info = prefilled_record();
    const bool bound = json_assign(stream, info);

    require(bound == !parse_error);
    if (bound) {
        require(info == expected_record(document));
    } else {
        require(info == prefilled_record());

        std::istringstream again(text);
        try {
            json_get<plain_text_info>(again, std::string());
            broken_promise();
        } catch (const std::runtime_error& e) {
            const std::string message = e.what();
            require(starts_with(message, std::string("[assign failure]( >> ") +
                                             typeid(plain_text_info).name() + "): "));
            require(ends_with(message, "\n"));
        }
    }

    if (size <= 512) {
        check_pointer_append(text);
    }
    return 0;
}
