#include "storage/SecureStoreService.h"
#include "core/VelmoraError.h"
#include "storage/PrivateFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <vector>

using namespace velmora;
using velmora::testing::fileMode;
using velmora::testing::TempDir;
namespace fs = std::filesystem;

namespace {

Bytes bytesOf(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

std::vector<std::string> entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(SecureStoreService, KeepsKeysInAPrivateFolderUnderSafeNames) {
    TempDir dir;
    const fs::path folder = dir / "Data" / "SecureStore";
    SecureStoreService created(folder);
    EXPECT_EQ(fileMode(folder), 0700u);
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    SecureStoreService store(folder); // a wider folder is narrowed again
    EXPECT_EQ(fileMode(folder), 0700u);

    EXPECT_EQ(store.fileURL("profile.encryption.key.v1"), folder / "profile.encryption.key.v1.bin");
    // A climbing name cannot leave the folder: "/" is replaced, so ".." stays part of one name.
    for (const auto& [account, file] : std::vector<std::pair<std::string, std::string>>{
             {"a/b c", "a_b_c.bin"}, {"../../etc/passwd", ".._.._etc_passwd.bin"}, {"clé", "cl_.bin"}})
        EXPECT_EQ(store.fileURL(account), folder / file) << account;

    EXPECT_EQ(store.read("k"), std::nullopt);
    store.set(Bytes(32, 0xAB), "k", false);
    EXPECT_EQ(fileMode(store.fileURL("k")), 0600u);
    EXPECT_EQ(store.read("k"), Bytes(32, 0xAB));
    store.set(Bytes(32, 0x01), "k", true);
    EXPECT_EQ(store.read("k"), Bytes(32, 0x01));
    EXPECT_EQ(entries(folder), std::vector<std::string>{"k.bin"}); // no temporary files left behind
}

TEST(SecureStoreService, CreateNeverReplacesAKeyAndEveryRacerGetsTheSameOne) {
    TempDir dir;
    // Separate stores share no lock, like two processes: only the file system decides.
    std::vector<std::unique_ptr<SecureStoreService>> stores;
    for (int i = 0; i < 8; ++i)
        stores.push_back(std::make_unique<SecureStoreService>(dir / "SecureStore"));
    std::vector<Bytes> answers(stores.size());
    std::vector<std::thread> racers;
    for (size_t i = 0; i < stores.size(); ++i)
        racers.emplace_back([&, i] { answers[i] = stores[i]->create(Bytes(32, uint8_t(i + 1)), "k"); });
    for (auto& t : racers)
        t.join();
    for (const Bytes& answer : answers)
        EXPECT_EQ(answer, *stores[0]->read("k"));
    EXPECT_EQ(fileMode(stores[0]->fileURL("k")), 0600u);

    // A key that exists, even a damaged one, is handed back untouched.
    SecureStoreService& store = *stores[0];
    velmora::testing::writeFile(store.fileURL("short"), "31 bytes of something not a key");
    EXPECT_EQ(store.create(Bytes(32, 9), "short"), bytesOf("31 bytes of something not a key"));

    // Setting a key aside never overwrites an earlier one set aside at the same moment.
    const fs::path first = store.setAside("short", "T1");
    store.create(Bytes(32, 5), "short");
    const fs::path second = store.setAside("short", "T1");
    EXPECT_EQ(first.filename(), "short.bin.damaged-T1");
    EXPECT_EQ(second.filename(), "short.bin.damaged-T1-1");
    EXPECT_EQ(readWholeFile(first), bytesOf("31 bytes of something not a key"));
    EXPECT_EQ(readWholeFile(second), Bytes(32, 5));
    EXPECT_FALSE(store.read("short"));
    EXPECT_EQ(entries(dir / "SecureStore"),
              (std::vector<std::string>{"k.bin", "short.bin.damaged-T1", "short.bin.damaged-T1-1"}));
}

TEST(SecureStoreService, AFolderItCannotWriteFailsTheWriteAndKeepsTheOldKey) {
    TempDir dir;
    velmora::testing::writeFile(dir / "blocker", "a file where a folder should be");
    SecureStoreService blocked(dir / "blocker" / "SecureStore"); // fails on first write, not here
    EXPECT_THROW(blocked.set(Bytes(32, 1), "k", false), VelmoraError);

    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    SecureStoreService store(dir / "SecureStore");
    store.set(Bytes(32, 7), "k", false);
    ASSERT_EQ(::chmod((dir / "SecureStore").c_str(), 0500), 0);
    EXPECT_THROW(store.set(Bytes(32, 9), "k", false), VelmoraError);
    ASSERT_EQ(::chmod((dir / "SecureStore").c_str(), 0700), 0);
    EXPECT_EQ(store.read("k"), Bytes(32, 7));
}

TEST(PrivateFile, ReadRefusesFoldersAndFifosWithoutBlocking) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    for (const fs::path& p : {dir.path(), dir / "pipe", dir / "missing"})
        EXPECT_THROW(readWholeFile(p), VelmoraError) << p;

    writePrivateFileAtomically(dir / "f", bytesOf("hello"), 0640);
    EXPECT_EQ(readWholeFile(dir / "f"), bytesOf("hello"));
    EXPECT_EQ(fileMode(dir / "f"), 0640u);
    writePrivateFileAtomically(dir / "empty", Bytes{});
    EXPECT_TRUE(readWholeFile(dir / "empty").empty());
}
