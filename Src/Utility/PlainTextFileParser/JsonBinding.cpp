#include <PlainTextFileParser/JsonBinding.h>

#include <new>

#include <boost/json/memory_resource.hpp>
#include <boost/json/parser.hpp>
#include <boost/system/system_error.hpp>
#include <boost/throw_exception.hpp>

#include "PlainTextFileParser/detail/DocumentBinding.h"
#include "PlainTextFileParser/detail/SecretMemory.h"
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
    const plain_text_detail::secret_string text = plain_text_detail::read_stream_text(is);
    boost::system::error_code error;
    std::size_t consumed = 0;
    boost::json::value document = plain_text_detail::parse_document(text, error, consumed);
    if (error) {
        boost::throw_exception(boost::system::system_error(error));
    }
    return document;
}

plain_text_info tag_invoke(boost::json::value_to_tag<plain_text_info>,
                           const boost::json::value& jv) {
    plain_text_info info;
    plain_text_detail::bind_members(jv, info, nullptr);
    return info;
}

namespace plain_text_detail {

binding_observer::~binding_observer() = default;
void binding_observer::document_failed(std::string_view, const boost::system::error_code&,
                                       std::size_t) {}
void binding_observer::document_parsed(std::string_view, const boost::json::value&) {}
void binding_observer::member_bound(member_id, std::size_t) {}
void binding_observer::member_failed(member_id, const boost::json::value*, const std::exception&) {}

namespace {

// The parser's working memory: where it keeps the values and the pieces of strings it has read
// until it builds the arrays and objects that hold them. It starts on the stack and grows on the
// heap; both are wiped when the parser is done with them. The document itself is built with the
// default memory resource, as boost::json::parse builds it.
class parser_scratch final : public boost::json::memory_resource {
public:
    parser_scratch() = default;
    parser_scratch(const parser_scratch&) = delete;
    parser_scratch& operator=(const parser_scratch&) = delete;
    ~parser_scratch() override { wipe_bytes(bytes, sizeof bytes); }

    unsigned char bytes[BOOST_JSON_STACK_BUFFER_SIZE];

private:
    void* do_allocate(std::size_t size, std::size_t) override { return ::operator new(size); }
    void do_deallocate(void* memory, std::size_t size, std::size_t) override {
        wipe_bytes(memory, size);
        ::operator delete(memory);
    }
    bool do_is_equal(const memory_resource& other) const noexcept override {
        return this == &other;
    }
};

}  // namespace

// What boost::json::parse does, with the parser at hand to say where it stopped.
boost::json::value parse_document(std::string_view text, boost::system::error_code& error,
                                  std::size_t& consumed) {
    parser_scratch scratch;  // outlives the parser, which gives its memory back as it ends
    boost::json::parser parser(&scratch, credential_parse_options(), scratch.bytes);
    consumed = parser.write(text.data(), text.size(), error);
    if (error) {
        return nullptr;
    }
    return parser.release();
}

// Each member on its own: a failure leaves only its field empty.
void bind_members(const boost::json::value& document, plain_text_info& record,
                  binding_observer* observer) {
    for_each_member(record, [&](const member_facts& member, auto& field) {
        const std::string& pointer = member_pointer(member.id);
        const bool bound =
            assign_value(document, pointer, field, [&](const std::exception& failure) {
                if (observer != nullptr) {
                    boost::system::error_code missing;
                    observer->member_failed(member.id, document.find_pointer(pointer, missing),
                                            failure);
                }
            });
        if (bound && observer != nullptr) {
            observer->member_bound(member.id, item_count(field));
        }
    });
}

bool is_out_of_memory(const std::exception& failure) noexcept {
    if (dynamic_cast<const std::bad_alloc*>(&failure) != nullptr) {
        return true;
    }
    try {
        std::rethrow_if_nested(failure);
    } catch (const std::bad_alloc&) {
        return true;
    } catch (...) {
    }
    return false;
}

}  // namespace plain_text_detail
