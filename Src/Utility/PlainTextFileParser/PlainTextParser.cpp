#include <PlainTextFileParser/PlainTextFileParser.h>

#include "PlainTextFileParser/detail/CredentialWalk.h"
#include "PlainTextFileParser/detail/SecretMemory.h"

PlainTextParser& PlainTextParser::operator=(const PlainTextParser&) = default;
PlainTextParser& PlainTextParser::operator=(PlainTextParser&&) = default;

// Each entry point burns the stack its walk used once the walk is over, returned or thrown: the
// JSON parser's buffers and the binding's temporaries stood there.
CorvexResult PlainTextParser::parse(const std::string& path,
                                    std::map<std::string, std::string>& out) {
    const plain_text_detail::stack_burn burn;
    return plain_text_detail::parse_credential_file(path, out, nullptr);
}

CorvexResult PlainTextParser::parse_text(std::string_view text,
                                         std::map<std::string, std::string>& out) {
    const plain_text_detail::stack_burn burn;
    return plain_text_detail::parse_credential_text(text, out, nullptr);
}

void PlainTextParser::wipe_credentials(std::map<std::string, std::string>& credentials) noexcept {
    plain_text_detail::wipe_map(credentials);
}
