// Peak heap growth of one PlainTextParser::parse of the 120,000-target document against the
// floor's (read the file, Boost.JSON parse, the final entries inserted into a fresh map).
//
// The program replaces the global operator new and delete with counting ones; the array and
// nothrow forms of the standard library call these. Boost.JSON's default memory resource and the
// standard containers allocate through them, in the library as in this program. Each figure is
// the peak reached during the call minus what was allocated when it started.
//
// Usage: ptfp_heap_peak [--json FILE]

#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <map>
#include <new>
#include <string>

#include <PlainTextFileParser/PlainTextFileParser.h>

#include "BenchSupport.h"
#include "DocumentGenerator.h"
#include "TestSupport.h"

namespace {

std::atomic<std::size_t> g_current{0};
std::atomic<std::size_t> g_peak{0};

// Kept out of line, so that no caller sees malloc and operator delete paired.
[[gnu::noinline]] void release(void* block) noexcept {
    if (block != nullptr) {
        g_current -= malloc_usable_size(block);
        std::free(block);
    }
}

}  // namespace

void* operator new(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    const std::size_t now = g_current += malloc_usable_size(block);
    std::size_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
    return block;
}
void operator delete(void* block) noexcept {
    release(block);
}
void operator delete(void* block, std::size_t) noexcept {
    release(block);
}

namespace {

using namespace ptfp_bench;

// Peak bytes allocated on top of what was allocated when `run` started.
template <class Run>
std::size_t peak_growth(Run run) {
    const std::size_t base = g_current.load();
    g_peak = base;
    run();
    return g_peak.load() - base;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string json_path = argc == 3 && std::string(argv[1]) == "--json" ? argv[2] : "";
    if (argc != 1 && json_path.empty()) {
        std::fprintf(stderr, "usage: %s [--json FILE]\n", argv[0]);
        return 2;
    }
    try {
        silence_log();
        const test_support::TempDir folder;
        GeneratedDocument document = generate_document(120000, BENCH_SEED);
        const std::string path = folder.write("credentials.json", document.text);
        const std::vector<OutputEntry>& entries = document.entries;
        const auto floor = [&] { run_floor(path, entries); };
        const auto parse = [&] {
            std::map<std::string, std::string> out;
            if (PlainTextParser::parse(path, out).code != RESULT_SUCCEED ||
                out.size() != entries.size()) {
                throw std::runtime_error("parse does not hand out the generator's entries");
            }
        };
        // One run of each first, so that one-time allocations (locale, static tables) are not
        // charged to either side.
        floor();
        parse();
        const std::size_t floor_peak = peak_growth(floor);
        const std::size_t parse_peak = peak_growth(parse);
        const double mib = 1024.0 * 1024.0;
        std::printf("peak heap growth, 120,000 targets: parse %.2f MiB, floor %.2f MiB, "
                    "parse / floor %.3f\n",
                    static_cast<double>(parse_peak) / mib, static_cast<double>(floor_peak) / mib,
                    static_cast<double>(parse_peak) / static_cast<double>(floor_peak));
        if (!json_path.empty()) {
            std::ofstream(json_path) << "{\"floor_peak_bytes\": " << floor_peak
                                     << ", \"parse_peak_bytes\": " << parse_peak << "}\n";
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ptfp_heap_peak: %s\n", e.what());
        return 1;
    }
}
