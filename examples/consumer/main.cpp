// Reads a credential file with the installed library and prints what it hands out, passwords
// masked; then parses a document held in memory and wipes both maps. Exits 0 when all of it
// worked.
//
//     consumer credentials.json

#include <iostream>
#include <map>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include <Kelvor/Addrkit.h>
#include <Kelvor/Log.h>
#include <PlainTextFileParser/JsonBinding.h>
#include <PlainTextFileParser/PlainTextFileParser.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: consumer FILE\n";
        return 2;
    }
    // A record may quote the file: escaped, it cannot act on the terminal.
    Kelvor::Log::SetSink([](const Kelvor::LogRecord& record) {
        std::cout << "log " << record.level << ": " << Kelvor::Log::Escape(record.text) << '\n';
    });

    std::map<std::string, std::string> credentials;
    CorvexResult result(RESULT_SUCCEED);
    try {
        result = PlainTextParser::parse(argv[1], credentials);
    } catch (const std::bad_alloc&) {
        // parse reports what it finds in the result; running out of memory it leaves to us.
        std::cerr << "consumer: out of memory\n";
        return 2;
    }
    std::cout << "result " << result.code << " ("
              << lookup_result_message(result.code).value_or("unregistered") << ") "
              << result.message << '\n';
    for (const auto& entry : credentials) {
        std::cout << "  " << entry.first << " = ********\n";
    }

    // The binding and the address expansion are usable on their own too.
    std::istringstream document(R"({"target_systems": ["bmc[1-2].lab"]})");
    plain_text_info info;
    std::vector<std::string> addresses;
    const bool ok = json_assign(document, info) && info.target_systems.size() == 1 &&
                    Kelvor::Addrkit::spread_scope_ip(info.target_systems[0], addresses) &&
                    addresses.size() == 2;
    std::cout << "binding and expansion " << (ok ? "ok" : "FAILED") << '\n';

    // Text held in memory (decrypted, say) parses as the file would, and a caller that wants no
    // trace of the passwords wipes the map when done.
    std::map<std::string, std::string> from_text;
    const CorvexResult text_result = PlainTextParser::parse_text(
        R"({"connection_credentials": {"ops": "operator:pa:ss"}, "kms_credentials": ["ops"]})",
        from_text);
    const bool text_ok = text_result.code == RESULT_SUCCEED && from_text.size() == 1 &&
                         from_text.count("operator@kmsid") == 1;
    PlainTextParser::wipe_credentials(from_text);
    PlainTextParser::wipe_credentials(credentials);
    const bool wiped = from_text.empty() && credentials.empty();
    std::cout << "text and wipe " << (text_ok && wiped ? "ok" : "FAILED") << '\n';
    return result.code == RESULT_SUCCEED && ok && text_ok && wiped ? 0 : 1;
}
