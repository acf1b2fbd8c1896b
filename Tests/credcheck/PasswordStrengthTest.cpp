// How weak-password judges a password: zxcvbn-c's estimate, knowing the entry's own names.

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "findings/PasswordStrength.h"

namespace {

using credcheck::DEFAULT_MIN_PASSWORD_BITS;
using credcheck::estimate_strength;

TEST(PasswordStrength, CommonPasswordsAreWeak) {
    // Dictionary words and common passwords, l33t, seasons and years, keyboard walks, dates,
    // repeats, sequences, and the user's own name with digits.
    const std::vector<std::string> weak = {
        "password1",    "P@ssw0rd",   "dragon123!", "Summer2024!",  "Winter2023", "cisco123",
        "letmein",      "qwertyuiop", "1qaz2wsx",   "asdfghjkl;",   "zxcvbnm123", "iloveyou",
        "monkey12",     "football!",  "baseball1",  "abc123456",    "123456789",  "11111111",
        "aaaaaaaaaaaa", "abcdefgh",   "01011990",   "1990-01-01",   "Tr0ub4dor",  "welcome1",
        "changeme!",    "sunshine2",  "operator1",  "operator2024", "bmcadmin01", "Passw0rd!",
    };
    for (const std::string& password : weak) {
        EXPECT_LT(estimate_strength(password, {"operator", "bmcadmin"}).bits,
                  DEFAULT_MIN_PASSWORD_BITS)
            << "password #" << (&password - weak.data());
    }
}

TEST(PasswordStrength, RandomSixteenCharacterPasswordsAreStrong) {
    std::mt19937 random(20261207);
    const std::string alphabet =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!#$%&*+-=?@^_~";
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    for (int i = 0; i < 200; ++i) {
        std::string password;
        for (int c = 0; c < 16; ++c) {
            password += alphabet[pick(random)];
        }
        EXPECT_GE(estimate_strength(password, {}).bits, DEFAULT_MIN_PASSWORD_BITS)
            << "password #" << i;
    }
}

TEST(PasswordStrength, NamesThePatternsAndJudgesPastANul) {
    EXPECT_EQ(estimate_strength("operator19900101", {"operator"}).patterns,
              (std::vector<std::string_view>{"the entry's own names", "a date"}));
    EXPECT_EQ(estimate_strength("Kq7~aaaaaa", {}).patterns,
              (std::vector<std::string_view>{"a repeat"}));
    // The part after the NUL counts: the whole is stronger than its first piece.
    const std::string with_nul("password\0Kq7~nTm!x9Lp2#vR", 25);
    EXPECT_GT(estimate_strength(with_nul, {}).bits,
              estimate_strength("password", {}).bits + DEFAULT_MIN_PASSWORD_BITS);
    // An own word holding a NUL is left out, not cut short at it.
    EXPECT_EQ(estimate_strength("zorbqivexmora", {std::string_view("zorb\0x", 6)}).bits,
              estimate_strength("zorbqivexmora", {}).bits);
}

}  // namespace
