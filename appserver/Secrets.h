#pragma once

// Passwords, tickets and tokens. Passwords are kept as Argon2id hashes in their self-describing text
// form, so a later change of cost applies to new hashes and old ones still verify. Tickets and tokens
// are 256 random bits handed out once; only their SHA-256 is stored, so the tables open nothing.

#include <string>
#include <string_view>

namespace appserver::secrets {

// Once per process, before any other function; throws std::runtime_error when the library cannot start.
void initialize();

// The Argon2id cost of new hashes: three passes over 12 MiB, one of the equivalent minimum settings
// commonly recommended, chosen as the one that keeps a login under a tenth of a second on the build
// machine even while it is busy (two passes over 32 MiB took up to 170 ms there).
inline constexpr unsigned long long kPasswordOps = 3;
inline constexpr std::size_t kPasswordMemory = 12u * 1024 * 1024;

std::string hashPassword(std::string_view password);
bool verifyPassword(const std::string& hash, std::string_view password);
// The cost of one verification spent on nothing: a login for an unknown user takes as long as one for
// a known user, so timing does not tell which names exist.
void spendVerification(std::string_view password);

// 256 random bits as 43 characters of URL-safe base64.
std::string newSecret();
// SHA-256 of a ticket or token, as 64 lower-case hex digits.
std::string secretHash(std::string_view secret);
// Compares without an early exit, so the time taken does not tell how much of a hash matched.
bool sameHash(std::string_view a, std::string_view b);

} // namespace appserver::secrets
