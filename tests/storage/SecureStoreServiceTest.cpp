#include "storage/PrivateFile.h"
#include "storage/SecureStoreService.h"
#include "core/VelmoraError.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <memory>
#include <thread>
#include <vector>

using namespace velmora;
using velmora::testing::TempDir;
namespace fs = std::filesystem;

namespace {

Bytes bytesOf(std::string_view s) { return Bytes(s.begin(), s.end()); }

} // namespace

TEST(SecureStoreService, CreatesTheFolderPrivateAndNarrowsAWiderOne) {
    TempDir dir;
    const fs::path store = dir / "Data" / "SecureStore";
    SecureStoreService created(store);
    EXPECT_TRUE(fs::is_directory(store));
    EXPECT_EQ(velmora::testing::fileMode(store), 0700u);

    ASSERT_EQ(::chmod(store.c_str(), 0755), 0);
    SecureStoreService reopened(store);
    EXPECT_EQ(velmora::testing::fileMode(store), 0700u);
}

TEST(SecureStoreService, AccountNamesMapToFilesInsideTheStore) {
    TempDir dir;
    SecureStoreService store(dir / "SecureStore");
    EXPECT_EQ(store.fileURL("profile.encryption.key.v1"), dir / "SecureStore" / "profile.encryption.key.v1.bin");
    EXPECT_EQ(store.fileURL("a/b c").filename(), "a_b_c.bin");
    // A climbing name cannot leave the folder: "/" is replaced, so ".." stays part of one name.
    EXPECT_EQ(store.fileURL("../../etc/passwd").parent_path(), dir / "SecureStore");
    EXPECT_EQ(store.fileURL("../../etc/passwd").filename(), ".._.._etc_passwd.bin");
    EXPECT_EQ(store.fileURL("clé").filename(), "cl_.bin"); // one character, one replacement
}

TEST(SecureStoreService, SetWritesTheRawBytesPrivatelyAndReplacesAtomically) {
    TempDir dir;
    SecureStoreService store(dir / "SecureStore");
    EXPECT_EQ(store.read("k"), std::nullopt);

    Bytes first(32, 0xAB);
    store.set(first, "k", false);
    EXPECT_EQ(velmora::testing::fileMode(store.fileURL("k")), 0600u);
    EXPECT_EQ(store.read("k"), first);

    Bytes second(32, 0x01);
    store.set(second, "k", true);
    EXPECT_EQ(store.read("k"), second);
    // Only the key file remains: no temporary files are left behind.
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir / "SecureStore")) ++entries;
    EXPECT_EQ(entries, 1u);
}

TEST(SecureStoreService, CreateNeverReplacesAKeyAndEveryRacerGetsTheSameOne) {
    TempDir dir;
    // Separate stores share no lock, like two processes: only the file system decides.
    std::vector<std::unique_ptr<SecureStoreService>> stores;
    for (int i = 0; i < 8; ++i) stores.push_back(std::make_unique<SecureStoreService>(dir / "SecureStore"));
    std::vector<Bytes> answers(stores.size());
    std::vector<std::thread> racers;
    for (size_t i = 0; i < stores.size(); ++i)
        racers.emplace_back([&, i] { answers[i] = stores[i]->create(Bytes(32, uint8_t(i + 1)), "k"); });
    for (auto& t : racers) t.join();
    const Bytes stored = *stores[0]->read("k");
    for (const Bytes& answer : answers) EXPECT_EQ(answer, stored);
    EXPECT_EQ(velmora::testing::fileMode(stores[0]->fileURL("k")), 0600u);

    // A key that exists, even a damaged one, is handed back untouched.
    velmora::testing::writeFile(stores[0]->fileURL("short"), "31 bytes of something not a key");
    EXPECT_EQ(stores[0]->create(Bytes(32, 9), "short"), bytesOf("31 bytes of something not a key"));

    // Setting a key aside never overwrites an earlier one set aside at the same moment.
    const fs::path first = stores[0]->setAside("short", "T1");
    stores[0]->create(Bytes(32, 5), "short");
    const fs::path second = stores[0]->setAside("short", "T1");
    EXPECT_EQ(first.filename(), "short.bin.damaged-T1");
    EXPECT_EQ(second.filename(), "short.bin.damaged-T1-1");
    EXPECT_EQ(readWholeFile(first), bytesOf("31 bytes of something not a key"));
    EXPECT_EQ(readWholeFile(second), Bytes(32, 5));
    EXPECT_FALSE(stores[0]->read("short"));

    size_t leftovers = 0;
    for (const auto& e : fs::directory_iterator(dir / "SecureStore"))
        leftovers += e.path().filename().string().find(".tmp-") != std::string::npos;
    EXPECT_EQ(leftovers, 0u);
}

TEST(SecureStoreService, SetReportsAFolderItCannotWriteAndKeepsTheOldKey) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    TempDir dir;
    SecureStoreService store(dir / "SecureStore");
    store.set(Bytes(32, 7), "k", false);
    ASSERT_EQ(::chmod((dir / "SecureStore").c_str(), 0500), 0);
    EXPECT_THROW(store.set(Bytes(32, 9), "k", false), VelmoraError);
    ASSERT_EQ(::chmod((dir / "SecureStore").c_str(), 0700), 0);
    EXPECT_EQ(store.read("k"), Bytes(32, 7));
}

TEST(SecureStoreService, StoreThatCouldNotBeCreatedFailsOnFirstWriteNotAtConstruction) {
    TempDir dir;
    velmora::testing::writeFile(dir / "blocker", "a file where a folder should be");
    SecureStoreService store(dir / "blocker" / "SecureStore");
    EXPECT_THROW(store.set(Bytes(32, 1), "k", false), VelmoraError);
}

TEST(PrivateFile, ReadRefusesFoldersAndFifosWithoutBlocking) {
    TempDir dir;
    EXPECT_THROW(readWholeFile(dir.path()), VelmoraError);
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_THROW(readWholeFile(dir / "pipe"), VelmoraError);
    EXPECT_THROW(readWholeFile(dir / "missing"), VelmoraError);

    writePrivateFileAtomically(dir / "f", bytesOf("hello"), 0640);
    EXPECT_EQ(readWholeFile(dir / "f"), bytesOf("hello"));
    EXPECT_EQ(velmora::testing::fileMode(dir / "f"), 0640u);
    writePrivateFileAtomically(dir / "empty", Bytes{});
    EXPECT_TRUE(readWholeFile(dir / "empty").empty());
}
