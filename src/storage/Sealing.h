#pragma once

#include "storage/SQLiteDatabase.h" // Bytes
#include "storage/SymmetricKey.h"

#include <cstddef>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

// AES-256-GCM sealing through OpenSSL's EVP interface. A sealed box in its combined form is
// nonce (12 bytes) || ciphertext (as long as the plaintext) || tag (16 bytes), no associated
// data. Sealed text is the standard base64 of the combined box, without line breaks, so it
// never starts with "{" and can be told apart from plain JSON.
namespace velmora::sealing {

constexpr size_t kNonceSize = 12;
constexpr size_t kTagSize = 16;
constexpr size_t kOverhead = kNonceSize + kTagSize;

// Sealing or opening failed (altered bytes, wrong key, too short a box, a library failure).
// Deliberately not a VelmoraError: each caller turns it into its own user-facing sentence.
class SealingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Seals with a fresh random nonce; throws SealingError when the library fails.
Bytes seal(std::span<const uint8_t> plaintext, const SymmetricKey& key);
// Verifies the tag and decrypts; throws SealingError on any failure, never returns unverified bytes.
Bytes open(std::span<const uint8_t> combined, const SymmetricKey& key);

// RFC 4648 standard alphabet with "=" padding and no line breaks.
std::string base64Encode(std::span<const uint8_t> bytes);
// Strict: nullopt for anything that is not canonical padded base64 (white space, line breaks,
// characters outside the alphabet, wrong length).
std::optional<Bytes> base64Decode(std::string_view text);

// Bytes from the cryptographically secure generator; throws SealingError if it fails.
Bytes randomBytes(size_t count);

inline std::span<const uint8_t> asBytes(std::string_view s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}
inline std::string asString(std::span<const uint8_t> b) {
    return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

} // namespace velmora::sealing
