// credcheck's report over arbitrary bytes: the parser's walk runs over them as a credential file,
// and the human report (coloured, with --verbose, so every section) and the JSON report are
// written from what it found.
//
// Checked on every input:
// - the walk hands out exactly the entries that PlainTextParser::parse hands out for the file
//   (and for a file that hands out more than 12,000, that is all that is checked);
// - the human report holds no control byte but its line ends and the colour sequences around its
//   words, and is valid UTF-8 without C1 controls;
// - the JSON report parses as strict JSON (so it is valid UTF-8) and holds no raw control byte;
// - no password that the document holds appears in the human report or in any string of the
//   JSON report, but where the report's own words or the users of its keys spell it: the file's
//   text is masked, the tool's words and key users never are. What those spell is read from the
//   same reports shown with a mask that takes every text of the file for a secret. Left out of
//   the check as well: passwords shorter than four bytes (not masked inside other text), those
//   holding '*' (the mask itself can spell them), and those holding a character that the own
//   words put right next to the file's text (a quote, a space, ...), where a password can be
//   spelled across the two.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <boost/json/parse.hpp>

#include <Kelvor/Log.h>
#include <PlainTextFileParser/PlainTextFileParser.h>
#include <PlainTextFileParser/detail/RecordMembers.h>

#include "FuzzSupport.h"
#include "cli/Run.h"
#include "render/HumanReport.h"
#include "render/JsonReport.h"

namespace {

using namespace fuzz_support;

// Every password the document holds, found here from the parsed document itself.
std::vector<std::string> passwords_of(std::string_view text) {
    std::vector<std::string> found;
    boost::system::error_code error;
    const boost::json::value document =
        boost::json::parse(text, error, boost::json::storage_ptr(), credential_parse_options());
    const boost::json::object* root = error ? nullptr : document.if_object();
    if (root == nullptr) {
        return found;
    }
    if (const auto* credentials = root->if_contains("connection_credentials")) {
        if (const auto* object = credentials->if_object()) {
            for (const auto& member : *object) {
                if (const auto* credential = member.value().if_string()) {
                    const std::string_view whole = *credential;
                    const std::size_t colon = whole.find(':');
                    if (colon != std::string_view::npos) {
                        found.emplace_back(whole.substr(colon + 1));
                    }
                }
            }
        }
    }
    for (const plain_text_detail::member_facts& member : plain_text_detail::MEMBER_FACTS) {
        if (member.kind != plain_text_detail::member_kind::password) {
            continue;
        }
        if (const auto* value = root->if_contains(member.key); value && value->is_string()) {
            found.emplace_back(value->get_string());
        }
    }
    return found;
}

// The passwords the reports must not show: long enough to be masked inside other text, without
// the mask's own '*' or a character that the own words put next to the file's text, and not
// spelled by what is left of the reports shown with every text of the file masked.
std::vector<std::string> checked(std::vector<std::string> passwords, const std::string& own) {
    const auto shown_anyway = [&](const std::string& password) {
        return password.size() < credcheck::MIN_MASKED_LENGTH ||
               password.find_first_of("* '\"/:<>[](){}") != std::string::npos ||
               own.find(password) != std::string::npos;
    };
    passwords.erase(std::remove_if(passwords.begin(), passwords.end(), shown_anyway),
                    passwords.end());
    return passwords;
}

// The text with the colour sequences the writer puts around words taken out.
std::string without_colours(const std::string& text) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        if (text.compare(at, 2, "\x1b[") == 0) {
            const std::size_t end = text.find('m', at);
            require(end != std::string::npos && end - at <= 4);
            at = end + 1;
            continue;
        }
        out += text[at++];
    }
    return out;
}

// No control byte but '\n', valid UTF-8, no C1 control.
void check_terminal_text(const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        require(byte >= 0x20 || byte == '\n');
        require(byte != 0x7f);
        require(byte < 0x80 || (byte >= 0xc2 && byte <= 0xf4));
        const std::size_t length = byte < 0x80 ? 1 : byte >= 0xf0 ? 4 : byte >= 0xe0 ? 3 : 2;
        require(at + length <= text.size());
        for (std::size_t i = 1; i < length; ++i) {
            require((static_cast<unsigned char>(text[at + i]) & 0xc0) == 0x80);
        }
        require(!(byte == 0xc2 && static_cast<unsigned char>(text[at + 1]) < 0xa0));
        at += length;
    }
}

void check_json_strings(const boost::json::value& value,
                        const std::vector<std::string>& passwords) {
    if (const auto* object = value.if_object()) {
        for (const auto& member : *object) {
            check_json_strings(member.value(), passwords);
        }
    } else if (const auto* array = value.if_array()) {
        for (const auto& element : *array) {
            check_json_strings(element, passwords);
        }
    } else if (const auto* text = value.if_string()) {
        for (const std::string& password : passwords) {
            require(std::string_view(*text).find(password) == std::string_view::npos);
        }
    }
}

std::string human_report(const credcheck::file_report& r) {
    std::ostringstream human;
    credcheck::write_human_report(human, r, true);
    return without_colours(human.str());
}

std::string json_report(const credcheck::file_report& r) {
    std::ostringstream json;
    credcheck::write_json_report(json, r);
    return json.str();
}

void check_human(const std::string& shown, const std::vector<std::string>& passwords) {
    check_terminal_text(shown);
    for (const std::string& password : passwords) {
        require(shown.find(password) == std::string::npos);
    }
}

void check_json(const std::string& text, const std::vector<std::string>& passwords) {
    for (const char c : text) {
        require(static_cast<unsigned char>(c) >= 0x20 || c == '\n');
    }
    boost::system::error_code error;
    const boost::json::value parsed = boost::json::parse(text, error);
    require(!error);
    check_json_strings(parsed, passwords);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Kelvor::Log::SetSink([](const Kelvor::LogRecord&) {});
    input_file();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    input_file().write(data, size);
    const std::string& path = input_file().path();

    credcheck::file_walk walk = credcheck::walk_file(path);
    std::map<std::string, std::string> parsed;
    const CorvexResult result = PlainTextParser::parse(path, parsed);
    require(result.code == walk.result.code && result.message == walk.result.message);
    require(parsed.size() == walk.entries.size());
    auto entry = walk.entries.begin();
    for (const auto& [key, value] : parsed) {
        require(*entry->key == key && *entry->value == value);
        ++entry;
    }

    // Tens of thousands of entries render the same kind of line over and over; past this many
    // only the walk is checked, which keeps a campaign at speed (the many-entries warning starts
    // at 10,000, so it is still rendered).
    if (walk.entries.size() > 12000) {
        return 0;
    }
    credcheck::options opts;
    opts.files = {path};
    opts.verbose = true;  // every section of the human report, coloured
    auto own_mask =
        std::make_shared<const credcheck::secret_mask>(credcheck::mask_for(walk, false));
    credcheck::file_report r =
        credcheck::build_report(std::move(walk), credcheck::settings_of(opts), own_mask);
    const std::string human = human_report(r);
    const std::string json = json_report(r);
    r.mask = std::make_shared<const credcheck::secret_mask>(credcheck::secret_mask::all_text());
    const std::vector<std::string> passwords =
        checked(passwords_of(std::string_view(reinterpret_cast<const char*>(data), size)),
                human_report(r) + json_report(r));
    check_json(json, passwords);
    check_human(human, passwords);
    return 0;
}
