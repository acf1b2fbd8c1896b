#include <PlainTextFileParser/JsonBinding.h>

#include <algorithm>
#include <ios>
#include <streambuf>

#include <boost/json/parse.hpp>

namespace {

// How many characters the stream's buffer still holds, when it can tell (files can), else 0.
std::size_t remaining_size_hint(std::streambuf& buffer) {
    const auto in = std::ios_base::in;
    const std::streampos here = buffer.pubseekoff(0, std::ios_base::cur, in);
    if (here == std::streampos(-1)) {
        return 0;
    }
    const std::streampos end = buffer.pubseekoff(0, std::ios_base::end, in);
    buffer.pubseekpos(here, in);
    return end > here ? static_cast<std::size_t>(end - here) : 0;
}

// Everything the stream's buffer delivers from its position to the end, read in large blocks
// into one string.
std::string read_rest(std::istream& is) {
    std::string text;
    std::streambuf* buffer = is.rdbuf();
    if (buffer == nullptr) {
        return text;
    }
    constexpr std::size_t block = 64 * 1024;
    // One byte beyond the hint, so that a file read whole is known to be at its end after one
    // more call that delivers nothing.
    text.resize(remaining_size_hint(*buffer) + 1);
    std::size_t length = 0;
    for (;;) {
        if (length == text.size()) {
            text.resize(std::max(text.size() * 2, text.size() + block));
        }
        const std::streamsize got =
            buffer->sgetn(&text[length], static_cast<std::streamsize>(text.size() - length));
        if (got <= 0) {
            break;
        }
        length += static_cast<std::size_t>(got);
    }
    text.resize(length);
    return text;
}

// Binds the member `key` of `document` into `field`; a failure leaves `field` empty.
template <class T>
void bind_member(const boost::json::value& document, const char* key, T& field) {
    std::string pointer;
    json_pointer_append(pointer, std::string(key));
    json_assign(document, pointer, field);
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
    plain_text_info info;
    bind_member(jv, KEY_CONNECTION_CREDENTIALS, info.connection_credentials);
    bind_member(jv, KEY_TARGET_SYSTEMS, info.target_systems);
    bind_member(jv, KEY_KMS_CREDENTIALS, info.kms_credentials);
    bind_member(jv, KEY_BMC_CREDENTIALS, info.bmc_credentials);
    bind_member(jv, KEY_PRIVPASSWORD, info.privpassword);
    bind_member(jv, KEY_NEWPASSWORD, info.newpassword);
    return info;
}
