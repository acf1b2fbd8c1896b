// Wiping what the binding made of a document: the parsed document and the bound record.

#include <PlainTextFileParser/JsonBinding.h>

#include "PlainTextFileParser/detail/SecretMemory.h"

namespace plain_text_detail {

namespace {

void wipe_json_string(boost::json::string& text) noexcept {
    // capacity() is the short-string buffer inside the value, or the allocation of a long one.
    wipe_bytes(text.data(), text.capacity());
}

}  // namespace

void wipe_document(boost::json::value& document) noexcept {
    switch (document.kind()) {
        case boost::json::kind::string:
            wipe_json_string(document.get_string());
            break;
        case boost::json::kind::array:
            for (boost::json::value& element : document.get_array()) {
                wipe_document(element);
            }
            break;
        case boost::json::kind::object: {
            boost::json::object& object = document.get_object();
            for (boost::json::key_value_pair& member : object) {
                // Member names are never read again: the object is only destroyed after this.
                const boost::json::string_view name = member.key();
                wipe_bytes(const_cast<char*>(name.data()), name.size());
                wipe_document(member.value());
            }
            // The parser builds an object in a table sized for every member it read, and moves
            // the later of two members with one name over the earlier: the slots past the end
            // keep a copy of what was moved.
            wipe_bytes(object.begin() + object.size(),
                       (object.capacity() - object.size()) * sizeof(boost::json::key_value_pair));
            break;
        }
        default:
            break;
    }
}

void wipe_record(plain_text_info& record) noexcept {
    // Aliases, target entries and the alias lists name credentials and hosts; the passwords are
    // in the credential texts and the two password members.
    for (auto& credential : record.connection_credentials) {
        wipe_string(credential.second);
    }
    wipe_string(record.privpassword);
    wipe_string(record.newpassword);
}

}  // namespace plain_text_detail
