#pragma once
// Overwriting what held a password before the memory goes back: the library's own copies, and
// those of the project's tools.
//
// Every wipe goes through libsodium's sodium_memzero, which the optimiser may not drop even when
// the memory is freed right after. Exported for the project's own tools, not installed.

#include <cstddef>
#include <map>
#include <memory>
#include <string>

#include <PlainTextFileParser/Export.h>

namespace plain_text_detail {

/// Overwrites `size` bytes at `data` with zeros. Never throws.
PLAINTEXTFILEPARSER_EXPORT void wipe_bytes(void* data, std::size_t size) noexcept;

/// Overwrites every byte `text` can hold (its whole capacity, the short-string buffer included)
/// and leaves it empty. Never throws.
PLAINTEXTFILEPARSER_EXPORT void wipe_string(std::string& text) noexcept;

/// Wipes every value of `map` (see wipe_string) and leaves it empty. The keys, users and hosts,
/// are no secret. Never throws.
PLAINTEXTFILEPARSER_EXPORT void wipe_map(std::map<std::string, std::string>& map) noexcept;

/// Overwrites the part of the call stack below the caller's frame that a parse may have used:
/// the JSON parser's buffers, the temporaries of the binding. Call it once the work that left
/// passwords there has returned. Never throws.
PLAINTEXTFILEPARSER_EXPORT void burn_stack() noexcept;

/// An allocator that wipes what it hands back: containers that hold passwords use it, so a copy
/// left behind when they grow or end is overwritten.
template <class T>
struct wiping_allocator {
    using value_type = T;

    wiping_allocator() = default;
    template <class U>
    wiping_allocator(const wiping_allocator<U>&) noexcept {}

    T* allocate(std::size_t count) { return std::allocator<T>().allocate(count); }
    void deallocate(T* memory, std::size_t count) noexcept {
        wipe_bytes(memory, count * sizeof(T));
        std::allocator<T>().deallocate(memory, count);
    }

    template <class U>
    bool operator==(const wiping_allocator<U>&) const noexcept {
        return true;
    }
    template <class U>
    bool operator!=(const wiping_allocator<U>&) const noexcept {
        return false;
    }
};

/// Text that may hold passwords: wiped whenever its storage is given back. A short text stands
/// in the object itself, and so in the frame that holds it: burn_stack covers that.
using secret_string = std::basic_string<char, std::char_traits<char>, wiping_allocator<char>>;

/// Runs `Wipe` on the object it guards when it ends, however the scope is left: the record of a
/// walk (wipe_record), a map of credentials (wipe_map), a string (wipe_string).
template <class T, void (*Wipe)(T&) noexcept>
class scoped_wipe {
public:
    explicit scoped_wipe(T& guarded) noexcept : guarded_(guarded) {}
    scoped_wipe(const scoped_wipe&) = delete;
    scoped_wipe& operator=(const scoped_wipe&) = delete;
    ~scoped_wipe() { Wipe(guarded_); }

private:
    T& guarded_;
};

/// Burns the stack when it ends, however the scope is left: the guard of an entry point whose
/// callees handle passwords.
class stack_burn {
public:
    stack_burn() = default;
    stack_burn(const stack_burn&) = delete;
    stack_burn& operator=(const stack_burn&) = delete;
    ~stack_burn() { burn_stack(); }
};

}  // namespace plain_text_detail
