#pragma once
// What the fuzz targets share: checks that judge a string by an independent rule (the C
// library's address parser, a plain character scan) rather than by the code under test, and the
// file that the targets reading files write each input to.

#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace fuzz_support {

/// Stops the process so that libFuzzer records the input. Used for every broken promise: a
/// trap is not caught by anything in between and needs no message (inputs may hold passwords).
[[noreturn]] inline void broken_promise() {
    __builtin_trap();
}

inline void require(bool condition) {
    if (!condition) {
        broken_promise();
    }
}

inline bool has_nul(std::string_view text) {
    return text.find('\0') != std::string_view::npos;
}

/// The address as a host-order number when `text` is IPv4 dotted decimal that inet_pton accepts.
inline std::optional<std::uint32_t> ipv4_value(const std::string& text) {
    in_addr address{};
    if (has_nul(text) || inet_pton(AF_INET, text.c_str(), &address) != 1) {
        return std::nullopt;
    }
    return ntohl(address.s_addr);
}

inline bool is_ipv4_text(const std::string& text) {
    return ipv4_value(text).has_value();
}

inline bool is_ipv6_text(const std::string& text) {
    in6_addr address{};
    return !has_nul(text) && inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

/// The C library's canonical text of an address that inet_pton accepts for `family`, or an empty
/// string when it does not accept it.
inline std::string canonical_address(int family, const std::string& text) {
    unsigned char bytes[sizeof(in6_addr)] = {};
    char buffer[INET6_ADDRSTRLEN] = {};
    if (has_nul(text) || inet_pton(family, text.c_str(), bytes) != 1 ||
        inet_ntop(family, bytes, buffer, sizeof buffer) == nullptr) {
        return std::string();
    }
    return buffer;
}

inline bool is_ascii_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

inline bool is_ascii_digit(char c) {
    return c >= '0' && c <= '9';
}

/// A host name of RFC 1123 labels: letters, digits and hyphens, labels of 1 to 63 characters
/// that neither start nor end with a hyphen, joined by single dots, at most 253 characters, with
/// at least one letter.
inline bool is_host_name(std::string_view name) {
    if (name.empty() || name.size() > 253 ||
        std::none_of(name.begin(), name.end(), is_ascii_letter)) {
        return false;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = name.find('.', start);
        const std::size_t end = dot == std::string_view::npos ? name.size() : dot;
        const std::string_view label = name.substr(start, end - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') {
            return false;
        }
        for (char c : label) {
            if (!is_ascii_letter(c) && !is_ascii_digit(c) && c != '-') {
                return false;
            }
        }
        if (dot == std::string_view::npos) {
            return true;
        }
        start = dot + 1;
    }
}

/// One address as a scope expands to it: an IPv4 or IPv6 text, or a host name.
inline bool is_address_or_host_name(const std::string& text) {
    return is_ipv4_text(text) || is_ipv6_text(text) || is_host_name(text);
}

inline bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

inline bool ends_with(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

/// One file per process, rewritten for every input. It is unlinked as soon as it exists and
/// reached through /proc/self/fd, so no file is left behind however the process ends.
class InputFile {
public:
    InputFile() {
        const char* directory = std::getenv("TMPDIR");
        std::string pattern = (directory != nullptr && *directory != '\0') ? directory : "/tmp";
        pattern += "/ptfp-fuzz-XXXXXX";
        fd_ = ::mkstemp(pattern.data());
        if (fd_ < 0) {
            std::abort();
        }
        ::unlink(pattern.c_str());
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }

    const std::string& path() const { return path_; }

    void write(const std::uint8_t* data, std::size_t size) {
        require(::ftruncate(fd_, 0) == 0);
        std::size_t done = 0;
        while (done < size) {
            const ssize_t written =
                ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
            if (written < 0 && errno == EINTR) {
                continue;
            }
            require(written > 0);
            done += static_cast<std::size_t>(written);
        }
    }

private:
    int fd_ = -1;
    std::string path_;
};

/// The process's input file.
inline InputFile& input_file() {
    static InputFile file;
    return file;
}

}  // namespace fuzz_support
