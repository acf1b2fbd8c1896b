// Reads a credential file with the installed library and prints what it hands out, passwords
// masked. Exits 0 when the file yields credentials.
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
    return result.code == RESULT_SUCCEED && ok ? 0 : 1;
}
