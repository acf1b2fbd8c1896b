// Peak heap growth of one PlainTextParser::parse of a generated document against the floor's
// (bulk read + Boost.JSON parse + the final entries inserted into a fresh map).
//
// The program replaces the global operator new and delete with counting ones that keep the bytes
// currently allocated and their peak. Boost.JSON's default memory resource and the standard
// containers allocate through them, in the library as in this program. Each measurement is the
// peak reached during the call minus what was allocated when it started.
//
// Usage: ptfp_heap_peak [--targets N] [--seed S] [--json FILE]

#include <malloc.h>

#include <atomic>
#include <cstdint>
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

namespace {

std::atomic<std::size_t> g_current{0};
std::atomic<std::size_t> g_peak{0};

void note_allocation(void* block) {
    if (block == nullptr) {
        return;
    }
    const std::size_t size = malloc_usable_size(block);
    const std::size_t now = g_current.fetch_add(size, std::memory_order_relaxed) + size;
    std::size_t peak = g_peak.load(std::memory_order_relaxed);
    while (now > peak && !g_peak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
}

void note_release(void* block) {
    if (block != nullptr) {
        g_current.fetch_sub(malloc_usable_size(block), std::memory_order_relaxed);
    }
}

void* counted_allocation(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    note_allocation(block);
    return block;
}

void* counted_aligned_allocation(std::size_t size, std::align_val_t alignment) {
    const auto align = static_cast<std::size_t>(alignment);
    const std::size_t rounded = ((size == 0 ? 1 : size) + align - 1) / align * align;
    void* block = std::aligned_alloc(align, rounded);
    note_allocation(block);
    return block;
}

// Kept out of line: inlined into a caller, std::free on a block that the caller got from
// operator new reads to the compiler as a mismatched pair, which here it is by design.
[[gnu::noinline]] void counted_release(void* block) {
    note_release(block);
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* block = counted_allocation(size)) {
        return block;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return counted_allocation(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return counted_allocation(size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    if (void* block = counted_aligned_allocation(size, alignment)) {
        return block;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return operator new(size, alignment);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return counted_aligned_allocation(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return counted_aligned_allocation(size, alignment);
}
void operator delete(void* block) noexcept {
    counted_release(block);
}
void operator delete[](void* block) noexcept {
    counted_release(block);
}
void operator delete(void* block, std::size_t) noexcept {
    counted_release(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    counted_release(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    counted_release(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    counted_release(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
    counted_release(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    counted_release(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    counted_release(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    counted_release(block);
}
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    counted_release(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    counted_release(block);
}

namespace {

using namespace ptfp_bench;

// Peak bytes allocated on top of what was allocated when `run` started.
template <class Run>
std::size_t peak_growth(Run run) {
    const std::size_t base = g_current.load();
    g_peak.store(base);
    run();
    return g_peak.load() - base;
}

double megabytes(std::size_t bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t targets = 120000;
    std::uint64_t seed = BENCH_SEED;
    std::string json_path;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--targets" && i + 1 < argc) {
            targets = std::stoul(argv[++i]);
        } else if (arg == "--seed" && i + 1 < argc) {
            seed = std::stoull(argv[++i]);
        } else if (arg == "--json" && i + 1 < argc) {
            json_path = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--targets N] [--seed S] [--json FILE]\n", argv[0]);
            return 2;
        }
    }

    try {
        silence_log();
        const ScratchFolder folder;
        std::size_t bytes = 0;
        std::string path;
        std::vector<OutputEntry> entries;
        {
            const GeneratedDocument document = generate_document(targets, seed);
            bytes = document.text.size();
            entries = expected_entries(document.plan);
            path = folder.write("credentials.json", document.text);
        }

        const auto floor = [&] {
            if (run_floor(path, entries) != entries.size()) {
                throw std::runtime_error("the floor lost entries");
            }
        };
        const auto parse = [&] {
            std::map<std::string, std::string> out;
            if (PlainTextParser::parse(path, out).code != RESULT_SUCCEED ||
                out.size() != entries.size()) {
                throw std::runtime_error("parse does not hand out the generator's entries");
            }
        };
        const auto map_only = [&] {
            std::map<std::string, std::string> out;
            for (const OutputEntry& entry : entries) {
                out.try_emplace(entry.key, entry.value);
            }
        };

        // One run of each first, so that one-time allocations (locale, stream buffers, static
        // tables) are not charged to either side.
        floor();
        parse();
        const std::size_t floor_peak = peak_growth(floor);
        const std::size_t parse_peak = peak_growth(parse);
        const std::size_t map_peak = peak_growth(map_only);
        const double ratio = static_cast<double>(parse_peak) / static_cast<double>(floor_peak);

        std::printf("document: %zu targets, %zu bytes, %zu output entries\n", targets, bytes,
                    entries.size());
        std::printf("peak heap growth, floor:           %10.2f MiB\n", megabytes(floor_peak));
        std::printf("peak heap growth, parse:           %10.2f MiB\n", megabytes(parse_peak));
        std::printf("  (output map alone:               %10.2f MiB)\n", megabytes(map_peak));
        std::printf("ratio parse / floor:               %10.3f\n", ratio);

        if (!json_path.empty()) {
            std::ofstream json(json_path, std::ios::trunc);
            json << "{\"targets\": " << targets << ", \"document_bytes\": " << bytes
                 << ", \"output_entries\": " << entries.size()
                 << ", \"floor_peak_bytes\": " << floor_peak
                 << ", \"parse_peak_bytes\": " << parse_peak << ", \"map_peak_bytes\": " << map_peak
                 << "}\n";
            json.close();
            if (!json) {
                throw std::runtime_error("cannot write " + json_path);
            }
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ptfp_heap_peak: %s\n", e.what());
        return 1;
    }
}
