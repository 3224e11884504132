#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace velmora {

// A 256-bit AES key. The bytes are wiped when the value goes away so keys do not linger in
// freed memory longer than needed.
class SymmetricKey {
public:
    static constexpr size_t kSize = 32;

    // A fresh key from the system's cryptographically secure generator.
    static SymmetricKey random();
    // The key made from exactly 32 bytes; any other length gives nullopt.
    static std::optional<SymmetricKey> fromBytes(std::span<const uint8_t> bytes);

    SymmetricKey(const SymmetricKey&) = default;
    SymmetricKey& operator=(const SymmetricKey&) = default;
    ~SymmetricKey();

    std::span<const uint8_t, kSize> bytes() const { return bytes_; }
    bool operator==(const SymmetricKey& other) const;

private:
    SymmetricKey() = default;
    std::array<uint8_t, kSize> bytes_{};
};

} // namespace velmora
