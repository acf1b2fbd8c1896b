#include "findings/Fingerprint.h"

#include <sodium.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace credcheck {

namespace {

void start_sodium() {
    if (sodium_init() < 0) {
        throw fingerprint_key_error("libsodium cannot start");
    }
}

}  // namespace

fingerprint_key fingerprint_key::from_hex(std::string_view text) {
    start_sodium();
    const std::size_t begin = text.find_first_not_of(" \t\r\n");
    const std::size_t end = text.find_last_not_of(" \t\r\n");
    const std::string_view digits =
        begin == std::string_view::npos ? std::string_view() : text.substr(begin, end - begin + 1);
    fingerprint_key key;
    std::size_t length = 0;
    const char* stop = nullptr;
    if (sodium_hex2bin(key.bytes_.data(), BYTES, digits.data(), digits.size(), nullptr, &length,
                       &stop) != 0 ||
        length != BYTES || stop != digits.data() + digits.size()) {
        throw fingerprint_key_error("the key is not 64 hex digits (32 bytes)");
    }
    return key;
}

fingerprint_key fingerprint_key::from_file(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw fingerprint_key_error("cannot read the key file: " +
                                    std::string(std::strerror(errno)));
    }
    std::string text;
    // A key file is tiny; reading more than a hex key with white space could hold says enough.
    text.resize(256);
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    try {
        if (text.size() == BYTES &&
            text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            start_sodium();
            fingerprint_key key;
            std::memcpy(key.bytes_.data(), text.data(), BYTES);
            sodium_memzero(text.data(), text.size());
            return key;
        }
        fingerprint_key key = from_hex(text);
        sodium_memzero(text.data(), text.size());
        return key;
    } catch (...) {
        sodium_memzero(text.data(), text.size());
        throw;
    }
}

fingerprint_key::fingerprint_key(const fingerprint_key& other) : bytes_(other.bytes_) {}

fingerprint_key& fingerprint_key::operator=(const fingerprint_key& other) {
    bytes_ = other.bytes_;
    return *this;
}

fingerprint_key::~fingerprint_key() {
    sodium_memzero(bytes_.data(), bytes_.size());
}

std::string fingerprint_key::digest(std::string_view password) const {
    unsigned char hash[32];
    crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(password.data()),
                       password.size(), bytes_.data(), bytes_.size());
    char hex[2 * sizeof hash + 1];
    sodium_bin2hex(hex, sizeof hex, hash, sizeof hash);
    return hex;
}

std::optional<fingerprint_key> find_fingerprint_key(const std::optional<std::string>& path) {
    if (path) {
        return fingerprint_key::from_file(*path);
    }
    if (const char* hex = std::getenv(FINGERPRINT_KEY_VARIABLE); hex != nullptr && *hex != '\0') {
        return fingerprint_key::from_hex(hex);
    }
    return std::nullopt;
}

}  // namespace credcheck
