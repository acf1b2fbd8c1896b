#include "findings/PasswordQuality.h"

#include <sys/stat.h>

#include <new>
#include <string>

#include <pwquality.h>

#include <PlainTextFileParser/detail/SecretMemory.h>

namespace credcheck {

namespace {

// Where cracklib looks for its dictionary when the settings name none: Debian's
// cracklib-runtime builds it there.
constexpr const char* DEFAULT_DICTIONARY = "/var/cache/cracklib/cracklib_dict";

bool dictionary_installed(const char* path) {
    struct stat status {};
    return ::stat((std::string(path) + ".pwd").c_str(), &status) == 0;
}

}  // namespace

struct password_quality::settings {
    pwquality_settings_t* values = nullptr;
    ~settings() { pwquality_free_settings(values); }
};

password_quality::password_quality() : settings_(std::make_unique<settings>()) {
    settings_->values = pwquality_default_settings();
    if (settings_->values == nullptr) {
        throw std::bad_alloc();
    }
    void* auxerror = nullptr;
    if (const int failed = pwquality_read_config(settings_->values, nullptr, &auxerror)) {
        // Without a configuration file the defaults stand; the message is only read to free it.
        char buffer[PWQ_MAX_ERROR_MESSAGE_LEN];
        pwquality_strerror(buffer, sizeof buffer, failed, auxerror);
    }
    const char* path = nullptr;
    pwquality_get_str_value(settings_->values, PWQ_SETTING_DICT_PATH, &path);
    int check = 1;
    pwquality_get_int_value(settings_->values, PWQ_SETTING_DICT_CHECK, &check);
    has_dictionary_ =
        check != 0 && dictionary_installed(path != nullptr ? path : DEFAULT_DICTIONARY);
    if (!has_dictionary_) {
        pwquality_set_int_value(settings_->values, PWQ_SETTING_DICT_CHECK, 0);
    }
}

password_quality::~password_quality() = default;

std::optional<std::string> password_quality::weakness(std::string_view password,
                                                      std::string_view user) const {
    // libpwquality takes C strings.
    const plain_text_detail::secret_string terminated(password);
    const std::string user_name(user);
    void* auxerror = nullptr;
    const int score = pwquality_check(settings_->values, terminated.c_str(), nullptr,
                                      user_name.empty() ? nullptr : user_name.c_str(), &auxerror);
    if (score >= 0) {
        return std::nullopt;
    }
    char buffer[PWQ_MAX_ERROR_MESSAGE_LEN];
    return std::string(pwquality_strerror(buffer, sizeof buffer, score, auxerror));
}

}  // namespace credcheck
