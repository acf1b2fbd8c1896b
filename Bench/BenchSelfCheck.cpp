// Checks that what the generator works out for its documents is exactly what
// PlainTextParser::parse does with them (the entries, with their values, and the records of
// refused scopes), so that the benchmarks' floor does the same output work as parse, and that a
// seed always gives the same document. Passwords are never printed.
//
// Usage: bench_selfcheck [N SEED]   the standard cases, or one document of N targets
// Exit status 0 when every case agrees, 1 otherwise.

#include <cstdint>
#include <cstdio>
#include <exception>
#include <map>
#include <string>
#include <vector>

#include <PlainTextFileParser/PlainTextFileParser.h>

#include "DocumentGenerator.h"
#include "TestSupport.h"

namespace {

using namespace ptfp_bench;

bool agrees(std::size_t targets, std::uint64_t seed, const test_support::TempDir& folder) {
    const GeneratedDocument document = generate_document(targets, seed);
    const std::string path = folder.write("check.json", document.text);
    std::map<std::string, std::string> out;
    test_support::LogCapture log;
    const CorvexResult result = PlainTextParser::parse(path, out);

    std::vector<std::string> problems;
    if (generate_document(targets, seed).text != document.text) {
        problems.push_back("the same seed gave another document");
    }
    if (result.code != RESULT_SUCCEED) {
        problems.push_back("parse did not succeed");
    }
    std::map<std::string, std::string> expected;
    for (const OutputEntry& entry : document.entries) {
        expected.emplace(entry.key, entry.value);
    }
    for (const auto& [key, value] : expected) {
        const auto found = out.find(key);
        if (found == out.end() || found->second != value) {
            problems.push_back("parse's map differs under " + key);
            break;
        }
    }
    if (out.size() != expected.size() || expected.size() != document.entries.size()) {
        problems.push_back("parse's map or the generator's entries have other keys");
    }
    std::vector<std::string> rejected;
    for (const Kelvor::LogRecord& record : log.records()) {
        if (record.level == 1) {
            rejected.push_back(record.text);
        }
    }
    std::vector<std::string> expected_rejected;
    for (const std::string& entry : document.rejected) {
        expected_rejected.push_back("The format of host <" + entry + "> is invalid");
    }
    if (rejected != expected_rejected) {
        problems.push_back("the records of refused scopes differ");
    }

    std::printf("%s seed %llu, %zu targets: %zu bytes, %zu entries, %zu refused scopes\n",
                problems.empty() ? "ok  " : "FAIL", static_cast<unsigned long long>(seed),
                targets, document.text.size(), document.entries.size(), rejected.size());
    for (const std::string& problem : problems) {
        std::printf("    %s\n", problem.c_str());
    }
    return problems.empty();
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const test_support::TempDir folder;
        if (argc == 3) {
            return agrees(std::stoul(argv[1]), std::stoull(argv[2]), folder) ? 0 : 1;
        }
        bool all = true;
        for (const std::size_t targets : {20, 10000, 120000}) {
            all = agrees(targets, BENCH_SEED, folder) && all;
        }
        for (std::uint64_t seed = 1; seed <= 20; ++seed) {
            all = agrees(10 + seed * 37, seed, folder) && all;
        }
        std::printf(all ? "every document agrees with parse\n" : "some documents disagree\n");
        return all ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_selfcheck: %s\n", e.what());
        return 1;
    }
}
