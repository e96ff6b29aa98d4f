#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "foundation/PropertyList.h"

using namespace qv;

namespace {

Value defaults() {
    Value root;
    root["samplerType"] = 3;
    root["feInputFOV"] = 1.0f;
    root["recentLenses"] = Array{};
    root["ImageDirectoryPath"] = paths::homeFolder() + "/Documents";
    return root;
}

}  // namespace

TEST(PreferencesFile, IsCreatedOnceWithItsFolderAndNeverOverwrittenByCreation) {
    EXPECT_TRUE(PreferencesFile::read().isNull());
    EXPECT_FALSE(PreferencesFile::update([](Value& root) { root["x"] = 1; }));
    EXPECT_FALSE(PreferencesFile::exists());  // a missing file is not made by a change

    EXPECT_TRUE(PreferencesFile::createIfMissing(defaults()));
    EXPECT_EQ(PreferencesFile::read(), defaults());
    ASSERT_TRUE(PreferencesFile::update([](Value& root) { root["samplerType"] = 5; }));
    EXPECT_FALSE(PreferencesFile::createIfMissing(defaults()));
    EXPECT_EQ(PreferencesFile::read().get("samplerType").integerOr(0), 5);
}

TEST(PreferencesFile, AFileThatIsNoDictionaryIsLeftAlone) {
    ASSERT_TRUE(files::createFolder(paths::deletingLastPathComponent(PreferencesFile::path()), true));
    ASSERT_TRUE(writePropertyList(Value(Array{1, 2}), PreferencesFile::path()));
    auto before = files::readWhole(PreferencesFile::path());
    EXPECT_TRUE(PreferencesFile::read().isNull());
    EXPECT_FALSE(PreferencesFile::update([](Value& root) { root["x"] = 1; }));
    EXPECT_EQ(files::readWhole(PreferencesFile::path()), before);
    EXPECT_FALSE(PreferencesFile::write(Value(Array{})));
}

TEST(PreferencesFile, ConcurrentChangesFromEightThreadsLoseNoKey) {
    ASSERT_TRUE(PreferencesFile::createIfMissing(defaults()));
    constexpr int kThreads = 8, kChanges = 15;
    std::atomic<bool> stop{false};
    std::atomic<int> partialReads{0};
    // A reader that never takes part in the changes must always see a whole dictionary.
    std::thread reader([&] {
        while (!stop) {
            if (!readPropertyList(PreferencesFile::path()).isDictionary()) ++partialReads;
        }
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < kChanges; ++i) {
                PreferencesFile::update([&](Value& root) {
                    root["key " + std::to_string(t) + "." + std::to_string(i)] = i;
                    root["counter"] = root.get("counter").integerOr(0) + 1;
                });
            }
        });
    }
    for (auto& w : writers) w.join();
    stop = true;
    reader.join();

    Value root = PreferencesFile::read();
    EXPECT_EQ(root.get("counter").integerOr(0), kThreads * kChanges);
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kChanges; ++i)
            EXPECT_TRUE(root.contains("key " + std::to_string(t) + "." + std::to_string(i))) << t << "." << i;
    EXPECT_EQ(root.get("samplerType").integerOr(0), 3);
    EXPECT_EQ(partialReads, 0);
}
