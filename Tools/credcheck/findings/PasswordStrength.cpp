#include "findings/PasswordStrength.h"

#include <algorithm>
#include <memory>
#include <string>

#include <zxcvbn.h>

#include <PlainTextFileParser/detail/SecretMemory.h>

namespace credcheck {

namespace {

std::string_view pattern_name(ZxcTypeMatch_t type) {
    if ((static_cast<int>(type) & MULTIPLE_MATCH) != 0) {
        return "a repeat";  // a part found again right after itself
    }
    switch (type) {
        case DICTIONARY_MATCH:
        case DICT_LEET_MATCH:
            return "a common password or word";
        case USER_MATCH:
        case USER_LEET_MATCH:
            return "the entry's own names";
        case REPEATS_MATCH:
            return "a repeat";
        case SEQUENCE_MATCH:
            return "a sequence";
        case SPATIAL_MATCH:
            return "a keyboard walk";
        case DATE_MATCH:
        case YEAR_MATCH:
            return "a date";
        default:
            return {};
    }
}

struct match_list_free {
    void operator()(ZxcMatch_t* info) const { ZxcvbnFreeInfo(info); }
};

// One piece free of NULs, judged whole.
void add_piece(const plain_text_detail::secret_string& piece, const char* const* own_words,
               password_strength& strength) {
    ZxcMatch_t* info = nullptr;
    strength.bits += ZxcvbnMatch(piece.c_str(), const_cast<const char**>(own_words), &info);
    const std::unique_ptr<ZxcMatch_t, match_list_free> matches(info);
    for (const ZxcMatch_t* match = info; match != nullptr; match = match->Next) {
        const std::string_view name = pattern_name(match->Type);
        if (!name.empty() && std::find(strength.patterns.begin(), strength.patterns.end(), name) ==
                                 strength.patterns.end()) {
            strength.patterns.push_back(name);
        }
    }
}

}  // namespace

password_strength estimate_strength(std::string_view password,
                                    const std::vector<std::string_view>& own_words) {
    // zxcvbn-c takes C strings: the words, NUL-terminated, and a list that a null ends.
    std::vector<std::string> words;
    for (const std::string_view word : own_words) {
        if (!word.empty() && word.find('\0') == std::string_view::npos) {
            words.emplace_back(word);
        }
    }
    std::vector<const char*> word_list;
    for (const std::string& word : words) {
        word_list.push_back(word.c_str());
    }
    word_list.push_back(nullptr);

    password_strength strength;
    for (std::size_t begin = 0; begin <= password.size();) {
        const std::size_t end = std::min(password.find('\0', begin), password.size());
        if (end > begin) {
            add_piece(plain_text_detail::secret_string(password.substr(begin, end - begin)),
                      word_list.data(), strength);
        }
        begin = end + 1;
    }
    return strength;
}

}  // namespace credcheck
