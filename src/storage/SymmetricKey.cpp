#include "storage/SymmetricKey.h"

#include "storage/Sealing.h"

#include <algorithm>
#include <openssl/crypto.h>

namespace velmora {

SymmetricKey SymmetricKey::random() {
    SymmetricKey key;
    Bytes fresh = sealing::randomBytes(kSize);
    std::copy(fresh.begin(), fresh.end(), key.bytes_.begin());
    OPENSSL_cleanse(fresh.data(), fresh.size());
    return key;
}

std::optional<SymmetricKey> SymmetricKey::fromBytes(std::span<const uint8_t> bytes) {
    if (bytes.size() != kSize) return std::nullopt;
    SymmetricKey key;
    std::copy(bytes.begin(), bytes.end(), key.bytes_.begin());
    return key;
}

SymmetricKey::~SymmetricKey() { OPENSSL_cleanse(bytes_.data(), bytes_.size()); }

bool SymmetricKey::operator==(const SymmetricKey& other) const {
    return CRYPTO_memcmp(bytes_.data(), other.bytes_.data(), kSize) == 0;
}

} // namespace velmora
