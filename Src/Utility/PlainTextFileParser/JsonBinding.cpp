#include <PlainTextFileParser/JsonBinding.h>

#include <algorithm>
#include <ios>
#include <streambuf>

#include <boost/json/parse.hpp>

namespace {

// Everything the stream's buffer delivers from its position to the end, read in large blocks
// into one string.
std::string read_rest(std::istream& is) {
    std::string text;
    std::streambuf* buffer = is.rdbuf();
    if (buffer == nullptr) {
        return text;
    }
    constexpr std::size_t block = 64 * 1024;
    // A file buffer knows how much of its file is left, any other buffer at least what it holds.
    // One byte more, so that a file read whole comes back short and so is known to be at its end.
    const std::streamsize available = buffer->in_avail();
    text.resize(static_cast<std::size_t>(std::max<std::streamsize>(available, 0)) + 1);
    std::size_t length = 0;
    for (;;) {
        if (length == text.size()) {
            text.resize(std::max(text.size() * 2, text.size() + block));
        }
        const auto wanted = static_cast<std::streamsize>(text.size() - length);
        const std::streamsize got = buffer->sgetn(&text[length], wanted);
        length += static_cast<std::size_t>(std::max<std::streamsize>(got, 0));
        if (got < wanted) {
            break;  // a buffer delivers less than asked only at the end of its sequence
        }
    }
    text.resize(length);
    return text;
}

std::string pointer_to(const char* key) {
    std::string pointer;
    json_pointer_append(pointer, std::string(key));
    return pointer;
}

// The JSON Pointer of each member ("/connection_credentials", ...). The same six serve every
// document, so they are built once.
struct member_pointers {
    std::string connection_credentials = pointer_to(KEY_CONNECTION_CREDENTIALS);
    std::string target_systems = pointer_to(KEY_TARGET_SYSTEMS);
    std::string kms_credentials = pointer_to(KEY_KMS_CREDENTIALS);
    std::string bmc_credentials = pointer_to(KEY_BMC_CREDENTIALS);
    std::string privpassword = pointer_to(KEY_PRIVPASSWORD);
    std::string newpassword = pointer_to(KEY_NEWPASSWORD);
};

const member_pointers& pointers() {
    static const member_pointers built;
    return built;
}

}  // namespace

boost::json::parse_options credential_parse_options() noexcept {
    boost::json::parse_options options;
    options.max_depth = 32;
    options.allow_comments = true;
    options.allow_trailing_commas = false;
    options.allow_invalid_utf8 = false;
    return options;
}

boost::json::value read_json(std::istream& is) {
    const std::string text = read_rest(is);
    return boost::json::parse(text, boost::json::storage_ptr(), credential_parse_options());
}

plain_text_info tag_invoke(boost::json::value_to_tag<plain_text_info>,
                           const boost::json::value& jv) {
    // Each member on its own: a failure leaves only its field empty.
    const member_pointers& pointer = pointers();
    plain_text_info info;
    json_assign(jv, pointer.connection_credentials, info.connection_credentials);
    json_assign(jv, pointer.target_systems, info.target_systems);
    json_assign(jv, pointer.kms_credentials, info.kms_credentials);
    json_assign(jv, pointer.bmc_credentials, info.bmc_credentials);
    json_assign(jv, pointer.privpassword, info.privpassword);
    json_assign(jv, pointer.newpassword, info.newpassword);
    return info;
}
