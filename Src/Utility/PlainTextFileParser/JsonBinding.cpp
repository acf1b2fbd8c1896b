#include <PlainTextFileParser/JsonBinding.h>

#include <boost/json/parse.hpp>

#include "PlainTextFileParser/detail/RecordMembers.h"
#include "PlainTextFileParser/detail/StreamText.h"

boost::json::parse_options credential_parse_options() noexcept {
    boost::json::parse_options options;
    options.max_depth = 32;
    options.allow_comments = true;
    options.allow_trailing_commas = false;
    options.allow_invalid_utf8 = false;
    return options;
}

boost::json::value read_json(std::istream& is) {
    const std::string text = plain_text_detail::read_stream_text(is);
    return boost::json::parse(text, boost::json::storage_ptr(), credential_parse_options());
}

plain_text_info tag_invoke(boost::json::value_to_tag<plain_text_info>,
                           const boost::json::value& jv) {
    // Each member on its own: a failure leaves only its field empty.
    plain_text_info info;
    plain_text_detail::for_each_member(info, [&jv](plain_text_detail::member_id id, auto& field) {
        json_assign(jv, plain_text_detail::member_pointer(id), field);
    });
    return info;
}
