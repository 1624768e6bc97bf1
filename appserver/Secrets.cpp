#include "Secrets.h"

#include <sodium.h>

#include <stdexcept>

namespace appserver::secrets {

void initialize() {
    if (sodium_init() < 0) throw std::runtime_error("Biblioteca de criptografia indisponível");
}

std::string hashPassword(std::string_view password) {
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(out, password.data(), password.size(), kPasswordOps, kPasswordMemory,
                              crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::runtime_error("Memória insuficiente para calcular o resumo da senha");
    return out;
}

bool verifyPassword(const std::string& hash, std::string_view password) {
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

void spendVerification(std::string_view password) {
    // A hash of the current cost, made once; verifying against it costs what a real verification costs.
    static const std::string dummy = hashPassword("senha que nenhum usuário tem");
    (void)verifyPassword(dummy, password);
}

std::string newSecret() {
    unsigned char bytes[32];
    randombytes_buf(bytes, sizeof bytes);
    char text[sodium_base64_ENCODED_LEN(sizeof bytes, sodium_base64_VARIANT_URLSAFE_NO_PADDING)];
    sodium_bin2base64(text, sizeof text, bytes, sizeof bytes, sodium_base64_VARIANT_URLSAFE_NO_PADDING);
    sodium_memzero(bytes, sizeof bytes);
    return text;
}

std::string secretHash(std::string_view secret) {
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(secret.data()), secret.size());
    char hex[crypto_hash_sha256_BYTES * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return hex;
}

bool sameHash(std::string_view a, std::string_view b) {
    return a.size() == b.size() && sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

} // namespace appserver::secrets
