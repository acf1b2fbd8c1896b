// The rules that judge the passwords themselves: shared, standing in a name, or weak.

#include <algorithm>
#include <bitset>
#include <exception>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include <PlainTextFileParser/detail/SecretMemory.h>

#include "findings/Finder.h"
#include "findings/PasswordStrength.h"
#include "text/SecretMask.h"

namespace credcheck {

namespace {

namespace detail = plain_text_detail;

// Whether `password` holds `name` in any letter case: "Operator-7" holds "operator". Compared in
// place, as a lower-case copy of the password would be one more copy to wipe.
bool holds(std::string_view password, std::string_view name) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return std::search(password.begin(), password.end(), name.begin(), name.end(),
                       [&](char a, char b) { return lower(a) == lower(b); }) != password.end();
}

// The words an attacker who knows an entry tries first: its user and alias, and the labels of
// the host names its targets reach, each once and at most MAX_OWN_WORDS of them.
constexpr std::size_t MAX_OWN_WORDS = 32;

void add_own_word(std::vector<std::string_view>& words, std::string_view word) {
    if (word.size() >= 3 && words.size() < MAX_OWN_WORDS &&
        std::find(words.begin(), words.end(), word) == words.end()) {
        words.push_back(word);
    }
}

// The host-name labels of the targets of each alias, from one pass over the targets.
std::unordered_map<std::string_view, std::vector<std::string_view>> host_labels(
    const file_walk& walk) {
    std::unordered_map<std::string_view, std::vector<std::string_view>> labels;
    for (const std::string& target : walk.record.target_systems) {
        const detail::target_entry entry = detail::split_target_entry(target);
        std::vector<std::string_view>& words = labels[entry.alias];
        for (std::size_t begin = 0; begin < entry.scope.size() && words.size() < MAX_OWN_WORDS;) {
            const std::size_t end =
                std::min(entry.scope.find_first_of(".-[]:", begin), entry.scope.size());
            const std::string_view label = entry.scope.substr(begin, end - begin);
            if (std::any_of(label.begin(), label.end(), [](char c) { return c > '9'; })) {
                add_own_word(words, label);
            }
            begin = end + 1;
        }
    }
    return labels;
}

// Passwords judged on one thread before a second one pays for itself.
constexpr std::size_t PASSWORDS_PER_THREAD = 2'000;

// The strength of each of `given`, with its entry's own words. zxcvbn-c is the largest cost of a
// file of many passwords and keeps no state between calls, so a long list is judged in two
// halves at once. Each thread burns its stack when it is done, as zxcvbn-c copies every password
// into its frames and leaves it there (and a thread's stack is kept for the next thread).
std::vector<password_strength> judge_passwords(
    const std::vector<given_password>& given,
    const std::unordered_map<std::string_view, std::vector<std::string_view>>& labels) {
    std::vector<password_strength> strengths(given.size());
    const auto judge = [&](std::size_t begin, std::size_t end) {
        const plain_text_detail::stack_burn burn;
        std::vector<std::string_view> words;
        for (std::size_t i = begin; i < end; ++i) {
            const given_password& password = given[i];
            words.clear();
            add_own_word(words, password.user);
            add_own_word(words, password.alias);
            if (const auto found = labels.find(password.alias);
                !password.alias.empty() && found != labels.end()) {
                for (const std::string_view label : found->second) {
                    add_own_word(words, label);
                }
            }
            strengths[i] = estimate_strength(password.password, words);
        }
    };
    const std::size_t half = given.size() / 2;
    if (given.size() < 2 * PASSWORDS_PER_THREAD || std::thread::hardware_concurrency() < 2) {
        judge(0, given.size());
        return strengths;
    }
    std::exception_ptr failed;
    std::thread second([&] {
        try {
            judge(half, given.size());
        } catch (...) {
            failed = std::current_exception();
        }
    });
    try {
        judge(0, half);
    } catch (...) {
        second.join();
        throw;
    }
    second.join();
    if (failed) {
        std::rethrow_exception(failed);
    }
    return strengths;
}

}  // namespace

void find_reused_passwords(finder& f) {
    const std::vector<given_password>& given = f.given();
    std::unordered_map<std::string_view, std::vector<const given_password*>> by_password;
    for (const given_password& password : given) {
        by_password[password.password].push_back(&password);
    }
    for (const given_password& password : given) {
        const std::vector<const given_password*>& sharing = by_password[password.password];
        if (sharing.size() < 2 || sharing.front() != &password) {
            continue;
        }
        report_text message;
        for (std::size_t i = 0; i < sharing.size(); ++i) {
            message << (i == 0                    ? ""
                        : i + 1 == sharing.size() ? " and "
                                                  : ", ")
                    << sharing[i]->owner;
        }
        message << " share one password";
        f.add(rule::reused_password, message.raw(), message, sharing[1]->at);
        f.about(password.password);
    }
    run_passwords* earlier = f.settings_.earlier_files;
    if (earlier == nullptr) {
        return;
    }
    const std::string& file = f.settings_.file_name;
    // Each distinct password once: the first credential of this file that gives it stands for
    // the others.
    for (const given_password& password : given) {
        if (by_password[password.password].front() != &password) {
            continue;
        }
        if (const run_passwords::origin* first =
                earlier->note(password.password, file, password.owner)) {
            report_text message = password.owner;
            message << " shares its password with " << first->owner << " of "
                    << quoted(first->file);
            f.add(rule::reused_password, message.raw(), std::move(message), password.at);
            f.about(password.password);
        }
    }
}

void find_passwords_in_names(finder& f) {
    const std::vector<given_password>& given = f.given();
    const auto inside = [](std::string_view name, std::string_view password) {
        return name == password ||
               (password.size() >= MIN_MASKED_LENGTH && name.find(password) != name.npos);
    };
    std::vector<std::string_view> secrets;
    std::unordered_map<std::string_view, const given_password*> owner_of;
    // The first credential of each user name: a password that is someone else's user name is
    // shown wherever that user's keys are.
    std::unordered_map<std::string_view, std::string_view> alias_of_user;
    for (const auto& [alias, text] : f.walk_.record.connection_credentials) {
        alias_of_user.emplace(detail::split_credential(text).user, alias);
    }
    for (const given_password& password : given) {
        for (const auto& [name, what] :
             {std::pair{password.user, "user name"}, std::pair{password.alias, "alias"}}) {
            const char* how = name.empty() ? nullptr
                              : inside(name, password.password)
                                  ? (name == password.password ? " is" : " stands inside")
                              : name.size() >= MIN_MASKED_LENGTH && holds(password.password, name)
                                  ? " holds"
                                  : nullptr;
            if (how != nullptr) {
                report_text message("the password of ");
                message << password.owner << how << " its " << what;
                f.add(rule::password_in_name, password.owner.raw() + "\n" + what,
                      std::move(message), password.at);
                f.about(password.password);
            }
        }
        const auto user = alias_of_user.find(password.password);
        if (user != alias_of_user.end() && user->first != password.user) {
            report_text message("the password of ");
            message << password.owner << " is the user name of credential " << quoted(user->second)
                    << ", which is masked where its keys are shown";
            f.add(rule::password_in_name,
                  password.owner.raw() + "\nuser name of " + std::string(user->second),
                  std::move(message), password.at);
            f.about(password.password);
        }
    }
    // Host names: a password that stands in a target's scope. Only a password whose every byte
    // stands in some scope can; most files have none, and their scopes need no search.
    const std::vector<std::string>& targets = f.walk_.record.target_systems;
    std::bitset<256> in_scopes;
    for (const std::string& target : targets) {
        for (const char c : detail::split_target_entry(target).scope) {
            in_scopes.set(static_cast<unsigned char>(c));
        }
    }
    for (const given_password& password : given) {
        if (std::all_of(password.password.begin(), password.password.end(),
                        [&](char c) { return in_scopes[static_cast<unsigned char>(c)]; })) {
            secrets.push_back(password.password);
            owner_of.emplace(password.password, &password);
        }
    }
    // A scope may hold several passwords, each once or more: one finding for each password.
    const secret_mask mask(secrets);
    std::vector<const given_password*> owners;
    for (std::size_t i = 0; i < targets.size() && !mask.empty(); ++i) {
        const std::string_view scope = detail::split_target_entry(targets[i]).scope;
        owners.clear();
        for (const auto& [begin, end] : mask.occurrences(scope)) {
            const auto owner = owner_of.find(scope.substr(begin, end - begin));
            if (owner != owner_of.end() &&
                std::find(owners.begin(), owners.end(), owner->second) == owners.end()) {
                owners.push_back(owner->second);
                report_text what(": its host scope holds the password of ");
                what << owner->second->owner;
                f.add_for(rule::password_in_name, {member_id::target_systems, i}, std::move(what),
                          std::nullopt, owner->second->owner.raw());
                f.about(owner->second->password);
            }
        }
    }
}

void find_weak_passwords(finder& f) {
    if (!f.settings_.check_password_quality) {
        return;
    }
    const std::vector<given_password>& given = f.given();
    const std::vector<password_strength> strengths = judge_passwords(given, host_labels(f.walk_));
    for (std::size_t i = 0; i < given.size(); ++i) {
        const given_password& password = given[i];
        const password_strength& strength = strengths[i];
        if (strength.bits >= f.settings_.min_password_bits) {
            continue;
        }
        report_text message("the password of ");
        message << password.owner << " is weak: about "
                << std::to_string(static_cast<long>(strength.bits)) << " bits of guessing, ";
        if (strength.patterns.empty()) {
            message << "as it is short";
        } else {
            message << "as it holds ";
            for (std::size_t p = 0; p < strength.patterns.size(); ++p) {
                message << (p == 0                              ? ""
                            : p + 1 == strength.patterns.size() ? " and "
                                                                : ", ")
                        << strength.patterns[p];
            }
        }
        f.add(rule::weak_password, password.owner.raw(), std::move(message), password.at);
        f.about(password.password);
    }
}

}  // namespace credcheck
