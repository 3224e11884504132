#include "storage/Sealing.h"

#include <array>
#include <algorithm>
#include <memory>
#include <openssl/evp.h>
#include <openssl/rand.h>

namespace velmora::sealing {

namespace {

struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree>;

CipherCtx newContext() {
    CipherCtx ctx(EVP_CIPHER_CTX_new());
    if (!ctx) throw SealingError("Could not create a cipher context.");
    return ctx;
}

// EVP takes int lengths; feed large inputs in pieces so no length is ever truncated.
constexpr size_t kChunk = size_t(1) << 30;

} // namespace

Bytes randomBytes(size_t count) {
    Bytes out(count);
    if (count > 0 && RAND_bytes(out.data(), static_cast<int>(count)) != 1)
        throw SealingError("The secure random generator failed.");
    return out;
}

Bytes seal(std::span<const uint8_t> plaintext, const SymmetricKey& key) {
    Bytes out(kNonceSize + plaintext.size() + kTagSize);
    Bytes nonce = randomBytes(kNonceSize);
    std::copy(nonce.begin(), nonce.end(), out.begin());

    CipherCtx ctx = newContext();
    if (EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, static_cast<int>(kNonceSize), nullptr) != 1 ||
        EVP_EncryptInit_ex(ctx.get(), nullptr, nullptr, key.bytes().data(), nonce.data()) != 1)
        throw SealingError("Could not start AES-GCM encryption.");

    uint8_t* cursor = out.data() + kNonceSize;
    for (size_t done = 0; done < plaintext.size();) {
        size_t piece = std::min(kChunk, plaintext.size() - done);
        int written = 0;
        if (EVP_EncryptUpdate(ctx.get(), cursor, &written, plaintext.data() + done, static_cast<int>(piece)) != 1)
            throw SealingError("AES-GCM encryption failed.");
        cursor += written;
        done += piece;
    }
    int tail = 0;
    if (EVP_EncryptFinal_ex(ctx.get(), cursor, &tail) != 1) throw SealingError("AES-GCM encryption failed.");
    cursor += tail;
    if (cursor != out.data() + kNonceSize + plaintext.size()) throw SealingError("AES-GCM produced an unexpected length.");
    if (EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, static_cast<int>(kTagSize), cursor) != 1)
        throw SealingError("Could not read the AES-GCM tag.");
    return out;
}

Bytes open(std::span<const uint8_t> combined, const SymmetricKey& key) {
    if (combined.size() < kOverhead) throw SealingError("The sealed data is too short.");
    auto nonce = combined.first(kNonceSize);
    auto ciphertext = combined.subspan(kNonceSize, combined.size() - kOverhead);
    // The tag buffer must be writable for the EVP control call, so copy it out.
    std::array<uint8_t, kTagSize> tag{};
    auto tagBytes = combined.last(kTagSize);
    std::copy(tagBytes.begin(), tagBytes.end(), tag.begin());

    CipherCtx ctx = newContext();
    if (EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, static_cast<int>(kNonceSize), nullptr) != 1 ||
        EVP_DecryptInit_ex(ctx.get(), nullptr, nullptr, key.bytes().data(), nonce.data()) != 1)
        throw SealingError("Could not start AES-GCM decryption.");

    Bytes out(ciphertext.size());
    uint8_t* cursor = out.data();
    for (size_t done = 0; done < ciphertext.size();) {
        size_t piece = std::min(kChunk, ciphertext.size() - done);
        int written = 0;
        if (EVP_DecryptUpdate(ctx.get(), cursor, &written, ciphertext.data() + done, static_cast<int>(piece)) != 1)
            throw SealingError("AES-GCM decryption failed.");
        cursor += written;
        done += piece;
    }
    if (EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, static_cast<int>(kTagSize), tag.data()) != 1)
        throw SealingError("Could not set the AES-GCM tag.");
    int tail = 0;
    if (EVP_DecryptFinal_ex(ctx.get(), cursor, &tail) != 1) {
        // Never hand back bytes that failed authentication, not even in a moved-from buffer.
        OPENSSL_cleanse(out.data(), out.size());
        throw SealingError("The sealed data failed authentication.");
    }
    return out;
}

std::string base64Encode(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return {};
    // EVP_EncodeBlock writes no line breaks (unlike the BIO filter) and NUL-terminates.
    std::string buffer(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    size_t done = 0, written = 0;
    while (done < bytes.size()) {
        // A multiple of 3 keeps padding only at the very end.
        size_t piece = std::min(bytes.size() - done, size_t(3) * (kChunk / 4));
        int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(buffer.data() + written), bytes.data() + done,
                                static_cast<int>(piece));
        written += static_cast<size_t>(n);
        done += piece;
    }
    buffer.resize(written);
    return buffer;
}

std::optional<Bytes> base64Decode(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    if (text.empty()) return Bytes{};
    auto isAlphabet = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
    };
    size_t padding = 0;
    if (text.back() == '=') padding = text[text.size() - 2] == '=' ? 2 : 1;
    for (size_t i = 0; i < text.size() - padding; ++i)
        if (!isAlphabet(text[i])) return std::nullopt;

    Bytes out(text.size() / 4 * 3);
    size_t written = 0;
    for (size_t done = 0; done < text.size();) {
        size_t piece = std::min(text.size() - done, kChunk); // kChunk is a multiple of 4
        int n = EVP_DecodeBlock(out.data() + written, reinterpret_cast<const unsigned char*>(text.data() + done),
                                static_cast<int>(piece));
        if (n < 0) return std::nullopt;
        written += static_cast<size_t>(n);
        done += piece;
    }
    // EVP_DecodeBlock counts the padding as zero bytes.
    out.resize(written - padding);
    return out;
}

} // namespace velmora::sealing
