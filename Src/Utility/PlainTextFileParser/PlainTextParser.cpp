#include <PlainTextFileParser/PlainTextFileParser.h>

#include "PlainTextFileParser/detail/CredentialWalk.h"

PlainTextParser& PlainTextParser::operator=(const PlainTextParser&) = default;
PlainTextParser& PlainTextParser::operator=(PlainTextParser&&) = default;

CorvexResult PlainTextParser::parse(const std::string& path,
                                    std::map<std::string, std::string>& out) {
    return plain_text_detail::parse_credential_file(path, out, nullptr);
}
