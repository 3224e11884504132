#include "storage/SecureStoreService.h"
#include "core/VelmoraError.h"
#include "storage/PrivateFile.h"
#include "storage/Sealing.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <set>
#include <sys/stat.h>
#include <thread>

using namespace velmora;
using namespace velmora::sealing;
using velmora::testing::fileMode;
using velmora::testing::TempDir;
namespace fs = std::filesystem;

namespace {

std::set<std::string> entries(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

} // namespace

TEST(Sealing, RoundTripsWithFreshNoncesAndRefusesAlteredOrTruncatedBoxes) {
    const SymmetricKey key = SymmetricKey::random();
    for (size_t size : {size_t(0), size_t(1), size_t(1000), size_t(1) << 20}) {
        const Bytes plain = randomBytes(size);
        EXPECT_EQ(open(seal(plain, key), key), plain) << size;
    }
    const Bytes box = seal(asBytes("confidential profile"), key), again = seal(asBytes("confidential profile"), key);
    EXPECT_FALSE(std::equal(box.begin(), box.begin() + 12, again.begin())); // distinct nonces
    for (size_t i = 0; i < box.size(); ++i) {
        Bytes altered = box;
        altered[i] ^= 0x01;
        EXPECT_THROW(open(altered, key), SealingError) << "byte " << i;
    }
    for (size_t keep : {box.size() - 1, size_t(27), size_t(0)})
        EXPECT_THROW(open(Bytes(box.begin(), box.begin() + keep), key), SealingError) << keep;

    // Test case 14 of the GCM reference vectors (AES-256, zero key, zero IV, one zero block),
    // laid out as nonce || ciphertext || tag and written in base64: the box is plain AES-256-GCM.
    const Bytes vector = *base64Decode("AAAAAAAAAAAAAAAAzqdAPU1ga24HTsXTuvOdGNDRyKeZmWvwJluYtdSKuRk=");
    EXPECT_EQ(open(vector, *SymmetricKey::fromBytes(Bytes(32, 0))), Bytes(16, 0));
}

TEST(Sealing, Base64IsStandardPaddedAndDecodedStrictly) {
    const std::pair<Bytes, std::string> pairs[] = {
        {{}, ""}, {{'f'}, "Zg=="}, {{'f', 'o'}, "Zm8="}, {{'f', 'o', 'o'}, "Zm9v"}, {{0xfb, 0xff, 0xfe}, "+//+"}};
    for (const auto& [bytes, text] : pairs) {
        EXPECT_EQ(base64Encode(bytes), text);
        EXPECT_EQ(base64Decode(text), bytes) << text;
    }
    const Bytes big = randomBytes(100000); // long enough for a line break, which strict decoding refuses
    EXPECT_EQ(base64Decode(base64Encode(big)), big);
    for (const char* bad :
         {"Zg=", "Zg", "Z===", "Zm9v\n", "Zm 9", "Zm9-", "Zm_v", "=Zm9", "Zg=a", "{\"a\":1}", "é\xff=="})
        EXPECT_EQ(base64Decode(bad), std::nullopt) << bad;
}

TEST(SecureStoreService, KeepsKeysInAPrivateFolderUnderSafeNames) {
    TempDir dir;
    const fs::path folder = dir / "Data" / "SecureStore";
    SecureStoreService created(folder);
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    SecureStoreService store(folder); // a wider folder is narrowed again
    EXPECT_EQ(fileMode(folder), 0700u);

    // A climbing name cannot leave the folder: "/" is replaced, so ".." stays part of one name.
    for (const auto& [account, file] : std::vector<std::pair<std::string, std::string>>{
             {"../../etc/passwd", ".._.._etc_passwd.bin"},
             {"clé", "cl_.bin"}})
        EXPECT_EQ(store.fileURL(account), folder / file) << account;

    EXPECT_EQ(store.read("k"), std::nullopt);
    store.set(Bytes(32, 0xAB), "k");
    store.set(Bytes(32, 0x01), "k"); // a restored key replaces the one there
    EXPECT_EQ(store.read("k"), Bytes(32, 0x01));
    EXPECT_EQ(fileMode(store.fileURL("k")), 0600u);
    EXPECT_EQ(entries(folder), std::set<std::string>{"k.bin"}); // no temporary files left behind
}

TEST(SecureStoreService, CreateNeverReplacesAKeyAndEveryRacerGetsTheSameOne) {
    TempDir dir;
    // Separate stores share no lock, like two processes: only the file system decides.
    std::vector<std::unique_ptr<SecureStoreService>> stores;
    for (int i = 0; i < 8; ++i)
        stores.push_back(std::make_unique<SecureStoreService>(dir / "SecureStore"));
    std::vector<Bytes> answers(stores.size());
    {
        std::vector<std::jthread> racers;
        for (size_t i = 0; i < stores.size(); ++i)
            racers.emplace_back([&, i] { answers[i] = stores[i]->create(Bytes(32, uint8_t(i + 1)), "k"); });
    }
    for (const Bytes& answer : answers)
        EXPECT_EQ(answer, *stores[0]->read("k"));
    EXPECT_EQ(entries(dir / "SecureStore"), std::set<std::string>{"k.bin"});
}

TEST(SecureStoreService, AFolderItCannotWriteFailsTheWriteAndKeepsTheOldKey) {
    TempDir dir;
    velmora::testing::writeFile(dir / "blocker", "a file where a folder should be");
    SecureStoreService blocked(dir / "blocker" / "SecureStore"); // fails on first write, not here
    EXPECT_THROW(blocked.set(Bytes(32, 1), "k", false), VelmoraError);

    // A key path that is a folder or a FIFO is refused without blocking.
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    for (const fs::path& p : {dir.path(), dir / "pipe", dir / "missing"})
        EXPECT_THROW(readWholeFile(p), VelmoraError) << p;

    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    SecureStoreService store(dir / "SecureStore");
    store.set(Bytes(32, 7), "k", false);
    ASSERT_EQ(::chmod((dir / "SecureStore").c_str(), 0500), 0);
    EXPECT_THROW(store.set(Bytes(32, 9), "k", false), VelmoraError);
    ASSERT_EQ(::chmod((dir / "SecureStore").c_str(), 0700), 0);
    EXPECT_EQ(store.read("k"), Bytes(32, 7));
}
