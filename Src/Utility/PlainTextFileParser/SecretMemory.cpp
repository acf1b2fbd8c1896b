#include "PlainTextFileParser/detail/SecretMemory.h"

#include <sodium/utils.h>

namespace plain_text_detail {

void wipe_bytes(void* data, std::size_t size) noexcept {
    if (size != 0) {
        sodium_memzero(data, size);
    }
}

void wipe_string(std::string& text) noexcept {
    // capacity() covers a short string's own buffer as well as a long one's allocation; the
    // terminating null past it holds nothing.
    wipe_bytes(text.data(), text.capacity());
    text.clear();
}

void wipe_map(std::map<std::string, std::string>& map) noexcept {
    for (auto& entry : map) {
        wipe_string(entry.second);
    }
    map.clear();
}

// Deeper than the deepest a parse goes below its entry point (the JSON parser's scratch and
// string buffers, the binding's frames), with room to spare: the README gives the depth measured.
constexpr std::size_t BURNED_STACK_BYTES = 64 * 1024;

// Not inlined, so that its array lies below the frame of the caller, where the callees were.
__attribute__((noinline)) void burn_stack() noexcept {
    unsigned char area[BURNED_STACK_BYTES];
    sodium_memzero(area, sizeof area);
    // Keeps the array, and the call, from being optimised away as a dead store.
    __asm__ __volatile__("" : : "r"(area) : "memory");
}

}  // namespace plain_text_detail
