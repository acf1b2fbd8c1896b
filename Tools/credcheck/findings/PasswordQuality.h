#pragma once
// libpwquality's verdict on a password, with its default settings and dictionary.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace credcheck {

/// Checks passwords as libpwquality does with the system's settings (/etc/security/pwquality.conf)
/// and cracklib's dictionary. A dictionary that is not installed is left out of the check rather
/// than reported as a failure of every password (cracklib would also write to standard error).
class password_quality {
public:
    /// Reads the settings. Throws std::bad_alloc.
    password_quality();
    ~password_quality();
    password_quality(const password_quality&) = delete;
    password_quality& operator=(const password_quality&) = delete;

    /// Why libpwquality finds `password` of `user` weak, in its own words, or nothing when it
    /// does not. The words never hold the password; the copy of it that libpwquality needs is
    /// wiped. Throws std::bad_alloc.
    std::optional<std::string> weakness(std::string_view password, std::string_view user) const;

    /// Whether the dictionary check takes part.
    bool has_dictionary() const { return has_dictionary_; }

private:
    struct settings;
    std::unique_ptr<settings> settings_;
    bool has_dictionary_ = false;
};

}  // namespace credcheck
