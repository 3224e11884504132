#include "storage/Sealing.h"

#include <gtest/gtest.h>
#include <set>

using namespace velmora;
using namespace velmora::sealing;

namespace {

SymmetricKey keyOf(uint8_t fill) {
    return *SymmetricKey::fromBytes(Bytes(32, fill));
}

} // namespace

TEST(Sealing, RoundTripsWithFreshNoncesAndTheDocumentedLayout) {
    const SymmetricKey key = SymmetricKey::random();
    for (size_t size : {size_t(0), size_t(1), size_t(16), size_t(1000), size_t(1) << 20}) {
        Bytes plain(size);
        for (size_t i = 0; i < size; ++i)
            plain[i] = static_cast<uint8_t>(i * 31 + 7);
        Bytes box = seal(plain, key);
        ASSERT_EQ(box.size(), plain.size() + 28) << size; // 12 bytes of nonce, 16 of tag
        EXPECT_EQ(open(box, key), plain) << size;
    }
    const Bytes a = seal(Bytes(64, 'x'), key), b = seal(Bytes(64, 'x'), key);
    EXPECT_FALSE(std::equal(a.begin(), a.begin() + 12, b.begin())); // distinct nonces
}

TEST(Sealing, MatchesAnIndependentAesGcmVector) {
    // Test case 14 of the GCM reference vectors (AES-256, zero key, zero IV, one zero block),
    // laid out as nonce || ciphertext || tag: proves the box is plain AES-256-GCM.
    Bytes combined(12, 0);
    const uint8_t ciphertextAndTag[] = {0xce, 0xa7, 0x40, 0x3d, 0x4d, 0x60, 0x6b, 0x6e, 0x07, 0x4e, 0xc5,
                                        0xd3, 0xba, 0xf3, 0x9d, 0x18, 0xd0, 0xd1, 0xc8, 0xa7, 0x99, 0x99,
                                        0x6b, 0xf0, 0x26, 0x5b, 0x98, 0xb5, 0xd4, 0x8a, 0xb9, 0x19};
    combined.insert(combined.end(), std::begin(ciphertextAndTag), std::end(ciphertextAndTag));
    EXPECT_EQ(open(combined, keyOf(0)), Bytes(16, 0));
}

TEST(Sealing, RefusesAlteredTruncatedOrForeignBoxes) {
    const SymmetricKey key = keyOf(1);
    const Bytes box = seal(asBytes("confidential profile"), key);
    for (size_t i = 0; i < box.size(); ++i) {
        Bytes altered = box;
        altered[i] ^= 0x01;
        EXPECT_THROW(open(altered, key), SealingError) << "byte " << i;
    }
    for (size_t keep : {box.size() - 1, size_t(27), size_t(0)})
        EXPECT_THROW(open(Bytes(box.begin(), box.begin() + keep), key), SealingError) << keep;
    EXPECT_THROW(open(box, keyOf(2)), SealingError);
}

TEST(Sealing, Base64IsStandardPaddedAndDecodedStrictly) {
    const std::pair<Bytes, std::string> pairs[] = {
        {{}, ""}, {{'f'}, "Zg=="}, {{'f', 'o'}, "Zm8="}, {{'f', 'o', 'o'}, "Zm9v"}, {{0xfb, 0xff, 0xfe}, "+//+"}};
    for (const auto& [bytes, text] : pairs) {
        EXPECT_EQ(base64Encode(bytes), text);
        EXPECT_EQ(base64Decode(text), bytes) << text;
    }
    Bytes big(100000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<uint8_t>(i);
    const std::string text = base64Encode(big);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(base64Decode(text), big);

    for (const char* bad :
         {"Zg=", "Zg", "Z===", "Zm9v\n", "Zm 9", "Zm9-", "Zm_v", "=Zm9", "Zg=a", "{\"a\":1}", "é\xff=="})
        EXPECT_EQ(base64Decode(bad), std::nullopt) << bad;
}

TEST(Sealing, KeysAndUuidsAreRandomAndWellFormed) {
    EXPECT_FALSE(SymmetricKey::random() == SymmetricKey::random());
    EXPECT_EQ(SymmetricKey::fromBytes(Bytes(31)), std::nullopt);
    EXPECT_EQ(SymmetricKey::fromBytes(Bytes(33)), std::nullopt);
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        std::string id = randomUuid();
        ASSERT_EQ(id.size(), 36u);
        EXPECT_EQ(id[8], '-');
        EXPECT_EQ(id[14], '4');
        EXPECT_NE(std::string("89AB").find(id[19]), std::string::npos);
        EXPECT_EQ(id.find_first_of("abcdef"), std::string::npos);
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 100u);
}
