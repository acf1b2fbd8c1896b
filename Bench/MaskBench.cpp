// Masking a file's passwords in the text credcheck shows: its own masker against RE2, the kept
// library for matching many strings at once, on the same secrets and texts.
//
//   BM_MaskBuild/<secrets>   building the mask
//   BM_MaskFind/<secrets>    finding every secret in the texts (the list entries of the file)
//
// each as credcheck's secret_mask ("Own") and as one RE2 alternation of the quoted secrets,
// leftmost-longest, with as much memory as it asks for ("Re2"). The RE2 side finds
// non-overlapping matches only, which is less than the masker must find, and so errs in RE2's
// favour. Secrets: the 120,000-target document's passwords with its entries as texts
// ("fleet"), 100,000 distinct 40-character passwords with 100,000 entries of which every
// hundredth holds one ("many"), one 8 MB password with an entry that holds it ("huge"), and
// 20,000 passwords made from one pattern, "svcadmin-00000" on, with texts that all hold the
// pattern and every hundredth a password ("pattern").

#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <re2/re2.h>

#include "BenchSupport.h"
#include "DocumentGenerator.h"
#include "TestSupport.h"
#include "text/SecretMask.h"
#include "walk/FileWalk.h"

namespace {

struct MaskCase {
    std::vector<std::string> secrets;
    std::vector<std::string> texts;
};

std::string random_text(std::mt19937_64& random, std::size_t length) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string text(length, ' ');
    for (char& c : text) {
        c = letters[random() % (sizeof letters - 1)];
    }
    return text;
}

MaskCase fleet_case() {
    const test_support::TempDir folder;
    const ptfp_bench::GeneratedDocument document =
        ptfp_bench::generate_document(120000, ptfp_bench::BENCH_SEED);
    credcheck::file_walk walk = credcheck::walk_file(folder.write("fleet.json", document.text));
    return {walk.index.secrets, walk.record.target_systems};
}

MaskCase many_case() {
    std::mt19937_64 random(7);
    MaskCase c;
    for (std::size_t i = 0; i < 100000; ++i) {
        c.secrets.push_back(random_text(random, 40));
    }
    for (std::size_t i = 0; i < 100000; ++i) {
        c.texts.push_back("c" + std::to_string(i) + "@10.0." + std::to_string(i % 250) + ".1" +
                          (i % 100 == 0 ? ":" + c.secrets[i] : std::string()));
    }
    return c;
}

MaskCase huge_case() {
    std::mt19937_64 random(8);
    MaskCase c;
    c.secrets.push_back(random_text(random, 8 << 20));
    c.texts = {"big@10.0.0.1", "big@" + c.secrets.front(), "big@10.0.0.2"};
    return c;
}

MaskCase pattern_case() {
    MaskCase c;
    for (std::size_t i = 0; i < 20000; ++i) {
        std::string number = std::to_string(100000 + i).substr(1);
        c.secrets.push_back("svcadmin-" + number);
        c.texts.push_back("svcadmin-u" + number + "@10.0.0.1" +
                          (i % 100 == 0 ? ":" + c.secrets.back() : std::string()));
    }
    return c;
}

std::unique_ptr<RE2> re2_mask(const std::vector<std::string>& secrets) {
    std::string pattern;
    for (const std::string& secret : secrets) {
        if (secret.size() >= credcheck::MIN_MASKED_LENGTH) {
            pattern += (pattern.empty() ? "" : "|") + RE2::QuoteMeta(secret);
        }
    }
    RE2::Options options;
    options.set_longest_match(true);
    options.set_max_mem(std::int64_t{4} << 30);
    options.set_log_errors(false);
    return std::make_unique<RE2>(pattern, options);
}

std::size_t re2_find(const RE2& re, const std::vector<std::string>& texts) {
    std::size_t found = 0;
    for (const std::string& text : texts) {
        re2::StringPiece match;
        for (std::size_t at = 0; at <= text.size();) {
            if (!re.Match(text, at, text.size(), RE2::UNANCHORED, &match, 1)) {
                break;
            }
            ++found;
            at = static_cast<std::size_t>(match.data() - text.data()) +
                 std::max<std::size_t>(match.size(), 1);
        }
    }
    return found;
}

void BM_MaskBuildOwn(benchmark::State& state, const MaskCase* c) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(credcheck::secret_mask(c->secrets).empty());
    }
}

void BM_MaskBuildRe2(benchmark::State& state, const MaskCase* c) {
    for (auto _ : state) {
        const std::unique_ptr<RE2> re = re2_mask(c->secrets);
        if (!re->ok()) {
            state.SkipWithError(("RE2 does not compile the secrets: " + re->error()).c_str());
            break;
        }
    }
}

void BM_MaskFindOwn(benchmark::State& state, const MaskCase* c) {
    const credcheck::secret_mask mask(c->secrets);
    for (auto _ : state) {
        std::size_t found = 0;
        for (const std::string& text : c->texts) {
            found += mask.find(text).size();
        }
        benchmark::DoNotOptimize(found);
    }
}

void BM_MaskFindRe2(benchmark::State& state, const MaskCase* c) {
    const std::unique_ptr<RE2> re = re2_mask(c->secrets);
    if (!re->ok()) {
        for (auto _ : state) {
        }
        state.SkipWithError(("RE2 does not compile the secrets: " + re->error()).c_str());
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(re2_find(*re, c->texts));
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 2;
    }
    ptfp_bench::silence_log();
    const MaskCase fleet = fleet_case();
    const MaskCase many = many_case();
    const MaskCase huge = huge_case();
    const MaskCase pattern = pattern_case();
    for (const auto& [name, c] : {std::pair<const char*, const MaskCase*>{"fleet", &fleet},
                                  {"many", &many},
                                  {"huge", &huge},
                                  {"pattern", &pattern}}) {
        const std::string suffix = std::string("/") + name;
        benchmark::RegisterBenchmark(("BM_MaskBuildOwn" + suffix).c_str(), BM_MaskBuildOwn, c)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BM_MaskBuildRe2" + suffix).c_str(), BM_MaskBuildRe2, c)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BM_MaskFindOwn" + suffix).c_str(), BM_MaskFindOwn, c)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BM_MaskFindRe2" + suffix).c_str(), BM_MaskFindRe2, c)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
