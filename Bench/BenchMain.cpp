// The benchmark suite of PlainTextParser::parse.
//
// At start-up it writes generated credential documents of 20 targets (the per-call overhead),
// 10,000 and 120,000 targets (about 5 MB), and with --ptfp_large or PTFP_BENCH_LARGE=1 also
// 1,000,000 targets. For each it measures side by side:
//
//   BM_Floor/N      read the file, Boost.JSON parse, insert the final entries into a fresh map
//   BM_Parse/N      PlainTextParser::parse into a fresh map, log records dropped
//   BM_BulkParse/N  read the file and Boost.JSON parse: the floor of read_json
//   BM_ReadJson/N   read_json over the library's stream of the file
//   BM_CredcheckReport/N, BM_CredcheckJson/N (120,000 targets and up, when credcheck is built)
//                   credcheck's walk over the file and its human or JSON report, written to a
//                   stream that drops it: what the tool costs beside parse
//
// Every benchmark reports bytes/s and entries/s; "output_entries" is the number of entries a
// parse of the document hands out and "input_bytes" its size. Bench/ratios.py turns a run into
// the ratios and the time per entry against the document size.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <boost/json/parse.hpp>

#include <PlainTextFileParser/JsonBinding.h>
#include <PlainTextFileParser/PlainTextFileParser.h>
#include <PlainTextFileParser/detail/InputFileStream.h>

#ifdef PTFP_BENCH_CREDCHECK
#include <ostream>
#include <streambuf>

#include "cli/Run.h"
#include "render/HumanReport.h"
#include "render/JsonReport.h"
#endif

#include "BenchSupport.h"
#include "DocumentGenerator.h"
#include "TestSupport.h"

namespace {

using namespace ptfp_bench;

struct BenchDocument {
    std::string path;
    std::size_t bytes = 0;
    std::vector<OutputEntry> entries;
};

void set_counters(benchmark::State& state, const BenchDocument& document) {
    const auto iterations = static_cast<double>(state.iterations());
    const auto entries = static_cast<double>(document.entries.size());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(document.bytes));
    state.counters["entries_per_second"] =
        benchmark::Counter(iterations * entries, benchmark::Counter::kIsRate);
    state.counters["output_entries"] = entries;
    state.counters["input_bytes"] = static_cast<double>(document.bytes);
}

void BM_Floor(benchmark::State& state, const BenchDocument* document) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(run_floor(document->path, document->entries));
    }
    set_counters(state, *document);
}

void BM_Parse(benchmark::State& state, const BenchDocument* document) {
    for (auto _ : state) {
        std::map<std::string, std::string> out;
        benchmark::DoNotOptimize(PlainTextParser::parse(document->path, out).code);
        if (out.size() != document->entries.size()) {
            state.SkipWithError("parse does not hand out the generator's entries");
            break;
        }
    }
    set_counters(state, *document);
}

void BM_BulkParse(benchmark::State& state, const BenchDocument* document) {
    for (auto _ : state) {
        const boost::json::value value = boost::json::parse(
            read_file(document->path), boost::json::storage_ptr(), credential_parse_options());
        benchmark::DoNotOptimize(value.is_object());
    }
    set_counters(state, *document);
}

void BM_ReadJson(benchmark::State& state, const BenchDocument* document) {
    for (auto _ : state) {
        plain_text_detail::InputFileStream file(document->path);
        benchmark::DoNotOptimize(read_json(file.stream()).is_object());
    }
    set_counters(state, *document);
}

#ifdef PTFP_BENCH_CREDCHECK
// Takes whatever is written and keeps none of it.
class null_buffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

template <bool Json>
void BM_Credcheck(benchmark::State& state, const BenchDocument* document) {
    null_buffer dropped;
    std::ostream out(&dropped);
    credcheck::options opts;
    opts.files = {document->path};
    for (auto _ : state) {
        const credcheck::file_report r = credcheck::build_report(document->path, opts);
        if (r.walk.entries.size() != document->entries.size()) {
            state.SkipWithError("credcheck's walk does not hand out the generator's entries");
            break;
        }
        if (Json) {
            credcheck::write_json_report(out, r);
        } else {
            credcheck::write_human_report(out, r, false);
        }
    }
    set_counters(state, *document);
}
#endif

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
    const test_support::TempDir folder;
    std::vector<std::unique_ptr<BenchDocument>> documents;
    for (const std::size_t targets : sizes) {
        GeneratedDocument generated = generate_document(targets, BENCH_SEED);
        auto& document = *documents.emplace_back(std::make_unique<BenchDocument>());
        document.bytes = generated.text.size();
        document.entries = std::move(generated.entries);
        document.path =
            folder.write("credentials-" + std::to_string(targets) + ".json", generated.text);
        std::fprintf(stderr, "document of %zu targets: %zu bytes, %zu output entries\n", targets,
                     document.bytes, document.entries.size());
        const std::string size = "/" + std::to_string(targets);
        const auto unit = targets >= 10000 ? benchmark::kMillisecond : benchmark::kMicrosecond;
        const auto add = [&](const char* name,
                             void (*run)(benchmark::State&, const BenchDocument*)) {
            benchmark::RegisterBenchmark((name + size).c_str(), run, &document)->Unit(unit);
        };
        add("BM_Floor", BM_Floor);
        add("BM_Parse", BM_Parse);
        add("BM_BulkParse", BM_BulkParse);
        add("BM_ReadJson", BM_ReadJson);
#ifdef PTFP_BENCH_CREDCHECK
        if (targets >= 120000) {
            add("BM_CredcheckReport", BM_Credcheck<false>);
            add("BM_CredcheckJson", BM_Credcheck<true>);
        }
#endif
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
