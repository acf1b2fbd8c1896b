// Checks that the entries the generator works out for its documents are exactly what
// PlainTextParser::parse hands out for them, so that the benchmarks' floor does the same output
// work as parse. Also checks the records logged for rejected scopes, that a seed always gives
// the same document, and that the floor parses with the library's options.
//
// Usage: bench_selfcheck            the standard cases, including the benchmarks' documents
//        bench_selfcheck N SEED     one document of N targets
// Exit status 0 when every case agrees, 1 otherwise. Passwords are never printed.

#include <cstdint>
#include <cstdio>
#include <exception>
#include <map>
#include <string>
#include <vector>

#include <Kelvor/Log.h>
#include <PlainTextFileParser/JsonBinding.h>
#include <PlainTextFileParser/PlainTextFileParser.h>

#include "BenchSupport.h"
#include "DocumentGenerator.h"

namespace {

using namespace ptfp_bench;

struct Case {
    std::size_t targets;
    std::uint64_t seed;
};

// Reports the first key on which the two maps differ; values are not shown.
void report_difference(const std::map<std::string, std::string>& expected,
                       const std::map<std::string, std::string>& actual) {
    for (const auto& [key, value] : expected) {
        const auto found = actual.find(key);
        if (found == actual.end()) {
            std::printf("    missing from parse's map: %s\n", key.c_str());
            return;
        }
        if (found->second != value) {
            std::printf("    different value (not shown) under: %s\n", key.c_str());
            return;
        }
    }
    for (const auto& entry : actual) {
        if (expected.find(entry.first) == expected.end()) {
            std::printf("    not expected in parse's map: %s\n", entry.first.c_str());
            return;
        }
    }
}

bool check(const Case& c, const ScratchFolder& folder) {
    const GeneratedDocument document = generate_document(c.targets, c.seed);
    const std::vector<OutputEntry> entries = expected_entries(document.plan);
    const std::vector<std::string> rejections = expected_rejections(document.plan);
    const std::string path =
        folder.write("check-" + std::to_string(c.seed) + "-" + std::to_string(c.targets) + ".json",
                     document.text);

    bool ok = true;
    const auto problem = [&](const char* text) {
        std::printf("    %s\n", text);
        ok = false;
    };

    if (generate_document(c.targets, c.seed).text != document.text) {
        problem("the same seed gave a different document");
    }

    std::map<std::string, std::string> expected;
    for (const OutputEntry& entry : entries) {
        expected.emplace(entry.key, entry.value);
    }
    if (expected.size() != entries.size()) {
        problem("the generator's entries repeat a key");
    }

    std::vector<Kelvor::LogRecord> records;
    Kelvor::LogSink previous =
        Kelvor::Log::SetSink([&](const Kelvor::LogRecord& record) { records.push_back(record); });
    std::map<std::string, std::string> actual;
    const CorvexResult result = PlainTextParser::parse(path, actual);
    Kelvor::Log::SetSink(std::move(previous));

    if (result.code != RESULT_SUCCEED) {
        problem("parse did not succeed");
    }
    if (actual != expected) {
        problem("parse's map differs from the generator's entries");
        report_difference(expected, actual);
    }
    std::vector<std::string> rejected;
    std::size_t entry_records = 0;
    for (const Kelvor::LogRecord& record : records) {
        if (record.level == 1) {
            rejected.push_back(record.text);
        } else if (record.level == 4) {
            ++entry_records;
        }
    }
    if (rejected != rejections) {
        problem("the records of rejected scopes differ from the generator's");
    }
    if (entry_records != 1 || rejected.size() + entry_records != records.size()) {
        problem("unexpected log records");
    }

    const auto forms = count_forms(document.plan);
    std::printf("%s seed %llu, %zu targets: %.2f MB, %zu entries, %zu rejected scopes logged;",
                ok ? "ok  " : "FAIL", static_cast<unsigned long long>(c.seed), c.targets,
                static_cast<double>(document.text.size()) / 1e6, entries.size(), rejections.size());
    for (std::size_t i = 0; i < forms.size(); ++i) {
        std::printf(" %s %zu", scope_form_name(static_cast<ScopeForm>(i)), forms[i]);
    }
    std::printf("\n");
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<Case> cases;
    if (argc == 3) {
        cases.push_back({std::stoul(argv[1]), std::stoull(argv[2])});
    } else if (argc == 1) {
        cases = {{10, 1},
                 {20, 1},
                 {1000, 1},
                 {5000, 1},
                 {10, 2},
                 {300, 2},
                 {20000, 2},
                 {MIN_TARGETS, 3},
                 {20, BENCH_SEED},
                 {10000, BENCH_SEED},
                 {120000, BENCH_SEED}};
    } else {
        std::fprintf(stderr, "usage: %s [TARGETS SEED]\n", argv[0]);
        return 2;
    }
    try {
        const ScratchFolder folder;
        bool ok = true;
        for (const Case& c : cases) {
            ok = check(c, folder) && ok;
        }
        std::printf(ok ? "every document agrees with parse\n" : "some documents disagree\n");
        return ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_selfcheck: %s\n", e.what());
        return 1;
    }
}
