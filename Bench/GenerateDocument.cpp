// Writes one generated credential document to a file, for measuring whole programs on it.
//
// Usage: ptfp_generate TARGETS SEED PATH
// Prints the number of entries parse hands out for it. Exit status 0, or 2 for bad usage.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "DocumentGenerator.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: ptfp_generate TARGETS SEED PATH\n");
        return 2;
    }
    const auto targets = static_cast<std::size_t>(std::strtoull(argv[1], nullptr, 10));
    const auto seed = static_cast<std::uint64_t>(std::strtoull(argv[2], nullptr, 0));
    const ptfp_bench::GeneratedDocument document = ptfp_bench::generate_document(targets, seed);
    std::ofstream(argv[3], std::ios::binary) << document.text;
    std::printf("%zu\n", document.entries.size());
    return 0;
}
