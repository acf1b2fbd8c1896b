#pragma once
// The credential document and its binding to `plain_text_info`.
//
// A credential file is a JSON object with six optional members:
//
//     {
//         "connection_credentials": { "admin": "root:s3cret" },   // alias -> "user:password"
//         "target_systems": [ "admin@10.0.0.0/30", "bmc-01.lab" ], // [alias "@"] host scope
//         "kms_credentials": [ "admin" ],
//         "bmc_credentials": [ "admin" ],
//         "privpassword": "...",
//         "newpassword": "..."
//     }
//
// The binding reads the whole stream, parses it with Boost.JSON (comments allowed, at most 32
// levels of nesting, no trailing commas, no invalid UTF-8) and binds each member on its own
// through a JSON Pointer, so a missing or mistyped member leaves only its own field empty.
// Only a document that cannot be read or parsed makes the whole binding fail.

#include <exception>
#include <istream>
#include <map>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include <boost/json/parse_options.hpp>
#include <boost/json/value.hpp>
#include <boost/json/value_to.hpp>

#include <PlainTextFileParser/Export.h>

/// The credential document, bound. Every field defaults to empty; an empty field cannot be told
/// from a missing member.
struct plain_text_info {
    /// Alias to credential text ("user:password"), ordered by alias.
    std::map<std::string, std::string> connection_credentials;
    /// Target entries ("alias@scope" or a bare scope), in document order.
    std::vector<std::string> target_systems;
    /// Aliases handed out under the "@kmsid" key form, in document order.
    std::vector<std::string> kms_credentials;
    /// Aliases handed out under the "@bmc-password" key form, in document order.
    std::vector<std::string> bmc_credentials;
    /// Handed out under the key "privpassword" when not empty.
    std::string privpassword;
    /// Handed out under the key "newpassword" when not empty.
    std::string newpassword;
};

/// True when every field of `a` equals the same field of `b`. Never throws.
inline bool operator==(const plain_text_info& a, const plain_text_info& b) noexcept {
    return a.connection_credentials == b.connection_credentials &&
           a.target_systems == b.target_systems && a.kms_credentials == b.kms_credentials &&
           a.bmc_credentials == b.bmc_credentials && a.privpassword == b.privpassword &&
           a.newpassword == b.newpassword;
}

inline bool operator!=(const plain_text_info& a, const plain_text_info& b) noexcept {
    return !(a == b);
}

/// Names of the document's members, in binding order.
inline constexpr const char KEY_CONNECTION_CREDENTIALS[] = "connection_credentials";
inline constexpr const char KEY_TARGET_SYSTEMS[] = "target_systems";
inline constexpr const char KEY_KMS_CREDENTIALS[] = "kms_credentials";
inline constexpr const char KEY_BMC_CREDENTIALS[] = "bmc_credentials";
inline constexpr const char KEY_PRIVPASSWORD[] = "privpassword";
inline constexpr const char KEY_NEWPASSWORD[] = "newpassword";

/// The options with which credential documents are parsed: at most 32 levels of nesting (the
/// top-level value is the first), comments of both forms allowed, no trailing commas, no invalid
/// UTF-8. Boost.JSON never accepts Infinity or NaN literals. Never throws.
PLAINTEXTFILEPARSER_EXPORT boost::json::parse_options credential_parse_options() noexcept;

/// Reads the rest of `is` and parses it as one JSON document.
///
/// Parses with `credential_parse_options()`; only whitespace and comments may follow the
/// top-level value. The text read, and the parser's own buffers, are wiped before they are
/// released; the document returned is the caller's to wipe (plain_text_detail::wipe_document).
/// Throws boost::system::system_error when the text is not such a document, and std::bad_alloc.
PLAINTEXTFILEPARSER_EXPORT boost::json::value read_json(std::istream& is);

/// Appends `token` to the JSON Pointer `pointer` as one reference token and returns `pointer`.
///
/// "~" becomes "~0" and "/" becomes "~1"; a "/" goes in front unless `pointer` already ends in
/// one. Throws std::bad_alloc.
PLAINTEXTFILEPARSER_EXPORT std::string& json_pointer_append(std::string& pointer,
                                                            const std::string& token);

/// Converts a JSON value to `plain_text_info`, binding each of the six members on its own.
/// Boost.JSON's `value_to<plain_text_info>` finds it. A value that is not an object, and a member
/// that is missing or has the wrong type, give empty fields. Throws std::bad_alloc only.
PLAINTEXTFILEPARSER_EXPORT plain_text_info tag_invoke(boost::json::value_to_tag<plain_text_info>,
                                                      const boost::json::value& jv);

namespace plain_text_detail {

/// Overwrites every string of `document`, member names included, and whatever a duplicate member
/// left behind in an object, so that no password outlives the document in freed memory. The
/// document stays valid to destroy, and nothing more. For documents that read_json parsed (at
/// most 32 levels deep). Never throws.
PLAINTEXTFILEPARSER_EXPORT void wipe_document(boost::json::value& document) noexcept;

/// Wipes the document it guards when it ends, however the scope is left.
class document_wipe {
public:
    explicit document_wipe(boost::json::value& document) noexcept : document_(document) {}
    document_wipe(const document_wipe&) = delete;
    document_wipe& operator=(const document_wipe&) = delete;
    ~document_wipe() { wipe_document(document_); }

private:
    boost::json::value& document_;
};

/// Overwrites every string of `record` that holds a password, the whole capacity of each (so a
/// password moved out of a short string leaves nothing either), and leaves it empty: the
/// credential texts and the two password members. Aliases, target entries and the alias lists
/// stay. Never throws.
PLAINTEXTFILEPARSER_EXPORT void wipe_record(plain_text_info& record) noexcept;

// "[assign failure](<pointer> >> <type name>): <what>\n"
inline std::string assign_failure_text(const std::string& pointer, const char* type_name,
                                       const char* what) {
    std::string text = "[assign failure](";
    text += pointer;
    text += " >> ";
    text += type_name;
    text += "): ";
    text += what;
    text += "\n";
    return text;
}

}  // namespace plain_text_detail

/// The value at `pointer` under `root`, converted to `T`.
///
/// Throws std::runtime_error with the text
/// "[assign failure](" + pointer + " >> " + type name of T + "): " + reason + "\n"
/// when the pointer designates nothing or the value does not convert to `T`. The exception it
/// replaces stays attached as a std::nested_exception, so that a caller can tell running out of
/// memory from a value of the wrong shape.
template <class T>
T json_get(const boost::json::value& root, const std::string& pointer) {
    try {
        return boost::json::value_to<T>(root.at_pointer(pointer));
    } catch (const std::exception& e) {
        std::throw_with_nested(std::runtime_error(
            plain_text_detail::assign_failure_text(pointer, typeid(T).name(), e.what())));
    }
}

/// Reads and parses the rest of `is` with `read_json`, then returns the value at `pointer`
/// converted to `T`; the parsed document's strings are wiped before it is released. Throws
/// std::runtime_error as the value form does, for read and parse failures too.
template <class T>
T json_get(std::istream& is, const std::string& pointer) {
    try {
        boost::json::value root = read_json(is);
        const plain_text_detail::document_wipe wipe(root);
        return boost::json::value_to<T>(root.at_pointer(pointer));
    } catch (const std::exception& e) {
        std::throw_with_nested(std::runtime_error(
            plain_text_detail::assign_failure_text(pointer, typeid(T).name(), e.what())));
    }
}

namespace plain_text_detail {

// json_assign (value form), handing what json_get threw to `failed` before returning false.
// Whatever `failed` throws leaves the call.
template <class T, class OnFailure>
bool assign_value(const boost::json::value& root, const std::string& pointer, T& target,
                  OnFailure&& failed) {
    try {
        target = json_get<T>(root, pointer);
        return true;
    } catch (const std::exception& failure) {
        failed(failure);
        return false;
    }
}

}  // namespace plain_text_detail

/// Moves the value at `pointer` under `root`, converted to `T`, into `target` and returns true.
/// Returns false and leaves `target` untouched when `json_get` fails. Throws nothing derived from
/// std::exception.
template <class T>
bool json_assign(const boost::json::value& root, const std::string& pointer, T& target) {
    return plain_text_detail::assign_value(root, pointer, target, [](const std::exception&) {});
}

/// Reads, parses and binds the whole document in `is` into `target` and returns true.
/// Returns false and leaves `target` untouched when the document cannot be read or parsed.
/// The text read and the parsed document are wiped before they are released. Throws nothing
/// derived from std::exception.
inline bool json_assign(std::istream& is, plain_text_info& target) {
    try {
        plain_text_info bound = json_get<plain_text_info>(is, std::string());
        target.connection_credentials = std::move(bound.connection_credentials);
        target.target_systems = std::move(bound.target_systems);
        target.kms_credentials = std::move(bound.kms_credentials);
        target.bmc_credentials = std::move(bound.bmc_credentials);
        target.privpassword = std::move(bound.privpassword);
        target.newpassword = std::move(bound.newpassword);
        // A short password moved out of a string leaves its characters behind in it.
        plain_text_detail::wipe_record(bound);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
