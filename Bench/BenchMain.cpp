// The benchmark suite of PlainTextParser::parse.
//
// At start-up it writes generated credential documents of 20 targets (the per-call overhead),
// 10,000 targets and 120,000 targets (about 5 MB), and with --ptfp_large or PTFP_BENCH_LARGE=1
// also 1,000,000 targets, into a scratch folder. For each document it measures side by side:
//
//   BM_Floor/N        bulk read + Boost.JSON parse + inserting the final entries into a fresh map
//   BM_BoundFloor/N   the floor with the document bound to its record by json_assign first
//   BM_Parse/N        PlainTextParser::parse into a fresh map, log records dropped
//   BM_Expansion/N    parse's alias look-ups and scope expansions alone, over a bound record
//   BM_BulkRead/N     one bulk read of the file into a string
//   BM_BulkParse/N    bulk read + Boost.JSON parse: the floor of read_json
//   BM_ReadJson/N     read_json over an std::ifstream of the file
//   BM_Binding/N      json_assign (stream form) over an std::ifstream of the file
//
// and BM_SpreadScope/<form> expands one scope of each form. Every benchmark reports bytes/s and
// entries/s; "output_entries" is the number of entries one call stands for (the entries a parse
// of the document hands out; for a scope, its addresses) and "input_bytes" the size of its input.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <boost/json/parse.hpp>

#include <Kelvor/Addrkit.h>
#include <PlainTextFileParser/JsonBinding.h>
#include <PlainTextFileParser/PlainTextFileParser.h>

#include "BenchSupport.h"
#include "DocumentGenerator.h"

namespace {

using namespace ptfp_bench;

struct BenchDocument {
    std::size_t targets = 0;
    std::string path;
    std::size_t bytes = 0;
    std::vector<OutputEntry> entries;
};

void set_counters(benchmark::State& state, std::size_t bytes, std::size_t entries) {
    const auto iterations = static_cast<std::int64_t>(state.iterations());
    state.SetBytesProcessed(iterations * static_cast<std::int64_t>(bytes));
    state.counters["entries_per_second"] =
        benchmark::Counter(static_cast<double>(iterations) * static_cast<double>(entries),
                           benchmark::Counter::kIsRate);
    state.counters["output_entries"] = benchmark::Counter(static_cast<double>(entries));
    state.counters["input_bytes"] = benchmark::Counter(static_cast<double>(bytes));
}

void BM_Floor(benchmark::State& state, const BenchDocument* document) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(run_floor(document->path, document->entries));
    }
    set_counters(state, document->bytes, document->entries.size());
}

void BM_BoundFloor(benchmark::State& state, const BenchDocument* document) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(run_bound_floor(document->path, document->entries));
    }
    set_counters(state, document->bytes, document->entries.size());
}

void BM_Parse(benchmark::State& state, const BenchDocument* document) {
    {
        std::map<std::string, std::string> out;
        const CorvexResult result = PlainTextParser::parse(document->path, out);
        if (result.code != RESULT_SUCCEED || out.size() != document->entries.size()) {
            state.SkipWithError("parse does not hand out the generator's entries");
            return;
        }
    }
    for (auto _ : state) {
        std::map<std::string, std::string> out;
        const CorvexResult result = PlainTextParser::parse(document->path, out);
        benchmark::DoNotOptimize(result.code);
        benchmark::DoNotOptimize(out.size());
    }
    set_counters(state, document->bytes, document->entries.size());
}

void BM_Expansion(benchmark::State& state, const BenchDocument* document) {
    plain_text_info info;
    {
        std::ifstream stream(document->path);
        if (!json_assign(stream, info)) {
            state.SkipWithError("the document does not bind");
            return;
        }
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(run_expansion(info));
    }
    set_counters(state, document->bytes, document->entries.size());
}

void BM_BulkRead(benchmark::State& state, const BenchDocument* document) {
    for (auto _ : state) {
        const std::string text = read_file_bulk(document->path);
        benchmark::DoNotOptimize(text.data());
        benchmark::ClobberMemory();
    }
    set_counters(state, document->bytes, document->entries.size());
}

void BM_BulkParse(benchmark::State& state, const BenchDocument* document) {
    for (auto _ : state) {
        const std::string text = read_file_bulk(document->path);
        const boost::json::value value =
            boost::json::parse(text, boost::json::storage_ptr(), credential_parse_options());
        benchmark::DoNotOptimize(value.is_object());
    }
    set_counters(state, document->bytes, document->entries.size());
}

void BM_ReadJson(benchmark::State& state, const BenchDocument* document) {
    for (auto _ : state) {
        std::ifstream stream(document->path);
        const boost::json::value value = read_json(stream);
        benchmark::DoNotOptimize(value.is_object());
    }
    set_counters(state, document->bytes, document->entries.size());
}

void BM_Binding(benchmark::State& state, const BenchDocument* document) {
    for (auto _ : state) {
        std::ifstream stream(document->path);
        plain_text_info info;
        const bool bound = json_assign(stream, info);
        benchmark::DoNotOptimize(bound);
        benchmark::DoNotOptimize(info.target_systems.size());
    }
    set_counters(state, document->bytes, document->entries.size());
}

void BM_SpreadScope(benchmark::State& state, const std::string& scope) {
    std::size_t count = 0;
    {
        std::vector<std::string> addresses;
        if (!Kelvor::Addrkit::spread_scope_ip(scope, addresses)) {
            state.SkipWithError("the scope is rejected");
            return;
        }
        count = addresses.size();
    }
    for (auto _ : state) {
        std::vector<std::string> addresses;
        benchmark::DoNotOptimize(Kelvor::Addrkit::spread_scope_ip(scope, addresses));
        benchmark::DoNotOptimize(addresses.data());
    }
    set_counters(state, scope.size(), count);
}

struct ScopeCase {
    const char* name;
    const char* scope;
};

const ScopeCase SCOPE_CASES[] = {
    {"ipv4", "10.20.30.40"},
    {"ipv6", "[FD12:3456:0000:0000:0000:0000:00AB:0001]"},
    {"short_range", "10.20.30.5-12"},
    {"long_range", "10.20.30.200-10.20.31.60"},
    {"cidr24", "10.20.30.0/24"},
    {"host_name", "bmc07.rack12.example"},
    {"host_name_range", "bmc[01-08].rack12.example"},
};

bool large_requested(int& argc, char** argv) {
    const char* env = std::getenv("PTFP_BENCH_LARGE");
    bool large = env != nullptr && *env != '\0' && std::string(env) != "0";
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--ptfp_large") {
            large = true;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    return large;
}

void register_document(const BenchDocument* document) {
    const std::string size = "/" + std::to_string(document->targets);
    const benchmark::TimeUnit unit =
        document->targets >= 10000 ? benchmark::kMillisecond : benchmark::kMicrosecond;
    benchmark::RegisterBenchmark(("BM_Floor" + size).c_str(), BM_Floor, document)->Unit(unit);
    benchmark::RegisterBenchmark(("BM_BoundFloor" + size).c_str(), BM_BoundFloor, document)
        ->Unit(unit);
    benchmark::RegisterBenchmark(("BM_Parse" + size).c_str(), BM_Parse, document)->Unit(unit);
    benchmark::RegisterBenchmark(("BM_Expansion" + size).c_str(), BM_Expansion, document)
        ->Unit(unit);
    benchmark::RegisterBenchmark(("BM_BulkRead" + size).c_str(), BM_BulkRead, document)->Unit(unit);
    benchmark::RegisterBenchmark(("BM_BulkParse" + size).c_str(), BM_BulkParse, document)
        ->Unit(unit);
    benchmark::RegisterBenchmark(("BM_ReadJson" + size).c_str(), BM_ReadJson, document)->Unit(unit);
    benchmark::RegisterBenchmark(("BM_Binding" + size).c_str(), BM_Binding, document)->Unit(unit);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const bool large = large_requested(argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 2;
    }
    silence_log();

    std::vector<std::size_t> sizes = {20, 10000, 120000};
    if (large) {
        sizes.push_back(1000000);
    }
    const ScratchFolder folder;
    std::vector<std::unique_ptr<BenchDocument>> documents;
    for (std::size_t targets : sizes) {
        auto document = std::make_unique<BenchDocument>();
        GeneratedDocument generated = generate_document(targets, BENCH_SEED);
        document->targets = targets;
        document->bytes = generated.text.size();
        document->entries = expected_entries(generated.plan);
        document->path =
            folder.write("credentials-" + std::to_string(targets) + ".json", generated.text);
        std::fprintf(stderr, "document of %zu targets: %zu bytes, %zu output entries\n", targets,
                     document->bytes, document->entries.size());
        register_document(document.get());
        documents.push_back(std::move(document));
    }
    for (const ScopeCase& scope_case : SCOPE_CASES) {
        benchmark::RegisterBenchmark(
            (std::string("BM_SpreadScope/") + scope_case.name).c_str(),
            [scope = std::string(scope_case.scope)](benchmark::State& state) {
                BM_SpreadScope(state, scope);
            });
    }

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
