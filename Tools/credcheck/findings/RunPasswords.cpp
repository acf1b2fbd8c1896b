#include "findings/RunPasswords.h"

#include <sodium.h>

#include <stdexcept>

namespace credcheck {

run_passwords::run_passwords() {
    if (sodium_init() < 0) {
        throw std::runtime_error("libsodium cannot start");
    }
    randombytes_buf(key_.data(), key_.size());
}

run_passwords::~run_passwords() {
    sodium_memzero(key_.data(), key_.size());
}

std::string run_passwords::digest(std::string_view password) const {
    // Sixteen bytes: no two passwords of a run meet by chance.
    std::string hash(16, '\0');
    crypto_generichash(reinterpret_cast<unsigned char*>(hash.data()), hash.size(),
                       reinterpret_cast<const unsigned char*>(password.data()), password.size(),
                       key_.data(), key_.size());
    return hash;
}

const run_passwords::origin* run_passwords::note(std::string_view password, const std::string& file,
                                                 const report_text& owner) {
    const auto [kept, added] = seen_.try_emplace(digest(password), origin{file, owner});
    return !added && kept->second.file != file ? &kept->second : nullptr;
}

}  // namespace credcheck
