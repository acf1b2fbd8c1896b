#pragma once
// How the strings of a credential document divide into their parts. Shared by the parser and
// the tools that explain its result.

#include <string>
#include <string_view>

namespace plain_text_detail {

/// A credential text divided into user name and password.
struct credential {
    std::string_view user;
    std::string_view password;
};

/// "user:password" divides at the first ":" (the password may hold further ":"); a text without
/// ":" is a user name with an empty password. The parts view `text`.
inline credential split_credential(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return {text, std::string_view()};
    }
    return {text.substr(0, colon), text.substr(colon + 1)};
}

/// The hosts of the keys that the alias lists hand out: user + "@kmsid" for every alias of
/// kms_credentials, user + "@bmc-password" for every alias of bmc_credentials.
inline constexpr char KMS_KEY_HOST[] = "kmsid";
inline constexpr char BMC_KEY_HOST[] = "bmc-password";

/// True when `host` is one of the two hosts above: a target whose scope names it hands out a
/// key that the tools read as a KMS or BMC credential.
inline bool is_reserved_key_host(std::string_view host) {
    return host == KMS_KEY_HOST || host == BMC_KEY_HOST;
}

/// An output key divided into its user and host.
struct key_parts {
    std::string_view user;
    std::string_view host;
};

/// "user@host" divides at the last "@" (the user may hold further "@"); a key without "@"
/// ("privpassword") is all user and no host. The parts view `key`.
inline key_parts split_key(std::string_view key) {
    const std::size_t at = key.rfind('@');
    if (at == std::string_view::npos) {
        return {key, std::string_view()};
    }
    return {key.substr(0, at), key.substr(at + 1)};
}

/// The alias that a target entry without "@" uses.
inline constexpr std::string_view DEFAULT_ALIAS = "default_alias";

/// A target entry divided at its last "@".
struct target_entry {
    std::string_view alias;
    std::string_view scope;
};

/// "alias@scope" divides at the last "@" (the alias may hold further "@"); an entry without "@"
/// is a bare scope under DEFAULT_ALIAS. The parts view `entry`.
inline target_entry split_target_entry(std::string_view entry) {
    const std::size_t at = entry.rfind('@');
    if (at == std::string_view::npos) {
        return {DEFAULT_ALIAS, entry};
    }
    return {entry.substr(0, at), entry.substr(at + 1)};
}

/// The output key user + "@" + host, built in one allocation at most.
inline std::string credential_key(std::string_view user, std::string_view host) {
    std::string key;
    key.reserve(user.size() + 1 + host.size());
    key.append(user);
    key.push_back('@');
    key.append(host);
    return key;
}

}  // namespace plain_text_detail
