#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "common/TempDir.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PropertyList.h"
#include "foundation/RunLoop.h"
#include "foundation/Threads.h"
#include "foundation/PreferencesFile.h"
#include "foundation/UserDefaults.h"

using namespace qv;

TEST(UserDefaults, TypedValuesFallBackOnRegisteredDefaults) {
    qvtest::TempDir dir;
    UserDefaults defaults(dir.file("defaults.plist"));
    defaults.registerDefaults({{"samplerType", 3}, {"enableControl", true}, {"feInputFOV", 1.0f}});
    EXPECT_EQ(defaults.integerForKey("samplerType"), 3);
    EXPECT_TRUE(defaults.boolForKey("enableControl"));
    defaults.set("samplerType", 5);
    defaults.set("enableControl", false);
    EXPECT_EQ(defaults.integerForKey("samplerType"), 5);
    EXPECT_FALSE(defaults.boolForKey("enableControl"));
    defaults.remove("samplerType");
    EXPECT_EQ(defaults.integerForKey("samplerType"), 3);

    defaults.set("typed", "12.75");
    EXPECT_EQ(defaults.integerForKey("typed"), 12);
    EXPECT_DOUBLE_EQ(defaults.doubleForKey("typed"), 12.75);
    defaults.set("yes", "YES");
    EXPECT_TRUE(defaults.boolForKey("yes"));
    EXPECT_EQ(defaults.stringForKey("samplerType"), "");
    EXPECT_EQ(defaults.integerForKey("missing"), 0);
    EXPECT_TRUE(defaults.object("missing").isNull());

    std::uint32_t bits = 0x7fc0beefu;
    float nan;
    std::memcpy(&nan, &bits, sizeof nan);
    defaults.set("scrambled", nan);
    float back = defaults.floatForKey("scrambled");
    EXPECT_EQ(std::memcmp(&back, &bits, sizeof back), 0);
}

TEST(UserDefaults, SynchronizeStoresValuesButNotRegisteredDefaults) {
    qvtest::TempDir dir;
    std::string store = dir.file("Library/Preferences/store.plist");
    {
        UserDefaults defaults(store);
        defaults.registerDefaults({{"registered", 1}});
        defaults.set("feOutputWidth", 1024.0f);
        defaults.set("ImageFilePath", "/photos/a b.jpg");
        EXPECT_TRUE(defaults.synchronize());
    }
    Value stored = readPropertyList(store);
    EXPECT_FALSE(stored.contains("registered"));
    UserDefaults again(store);
    EXPECT_FLOAT_EQ(again.floatForKey("feOutputWidth"), 1024.0f);
    EXPECT_EQ(again.stringForKey("ImageFilePath"), "/photos/a b.jpg");
    EXPECT_EQ(again.integerForKey("registered"), 0);
}

TEST(UserDefaults, TheStandardDefaultsBelongToTheHomeFolderOfTheMoment) {
    UserDefaults& standard = UserDefaults::standard();
    EXPECT_EQ(standard.storePath(), PreferencesFile::path()) << "one store with the preferences file";
    standard.registerDefaults({{"openButton", true}});
    standard.set("samplerType", 4);
    ASSERT_TRUE(standard.synchronize());

    std::string home = std::getenv("HOME");
    qvtest::TempDir other;
    setenv("HOME", other.path().c_str(), 1);
    EXPECT_EQ(standard.integerForKey("samplerType"), 0);
    EXPECT_FALSE(standard.boolForKey("openButton"));
    setenv("HOME", home.c_str(), 1);
    EXPECT_EQ(standard.integerForKey("samplerType"), 4);
}

TEST(UserDefaults, TheStandardDefaultsAndThePreferencesFileAreOneStoreThatNeitherOverwrites) {
    qvtest::TempDir home;
    const std::string before = std::getenv("HOME");
    setenv("HOME", home.path().c_str(), 1);
    UserDefaults& standard = UserDefaults::standard();
    ASSERT_TRUE(PreferencesFile::write(Value(Dictionary{{"recentLenses", Value(Array{Value("EF 50mm")})}})));
    EXPECT_EQ(standard.object("recentLenses"), Value(Array{Value("EF 50mm")})) << "what the file holds is a default";

    standard.set("ImageDirectoryPath", "/photos/trip");
    // Someone writes the file meanwhile; the defaults write only what they changed.
    ASSERT_TRUE(PreferencesFile::update([](Value& root) { root["WindowWidth"] = 1300.0; }));
    ASSERT_TRUE(standard.synchronize());
    Value stored = PreferencesFile::read();
    EXPECT_EQ(stored.get("ImageDirectoryPath").stringOr(""), "/photos/trip");
    EXPECT_EQ(stored.get("WindowWidth").doubleOr(0), 1300.0);
    EXPECT_EQ(stored.get("recentLenses"), Value(Array{Value("EF 50mm")}));
    EXPECT_EQ(standard.doubleForKey("WindowWidth"), 1300.0) << "and the defaults see what was written";

    standard.remove("ImageDirectoryPath");
    ASSERT_TRUE(standard.synchronize());
    EXPECT_FALSE(PreferencesFile::read().contains("ImageDirectoryPath"));
    EXPECT_EQ(PreferencesFile::read().get("WindowWidth").doubleOr(0), 1300.0);
    setenv("HOME", before.c_str(), 1);
}

TEST(UserDefaults, ObserversAreCalledOnTheMainThread) {
    qvtest::TempDir dir;
    UserDefaults defaults(dir.file("d.plist"));
    defaults.registerDefaults({{"enableControl", true}});
    std::vector<std::pair<std::string, bool>> calls;
    bool allOnMain = true;
    auto subscription = defaults.observe("enableControl", [&](const std::string& key, const Value& value) {
        allOnMain = allOnMain && isMainThread();
        calls.emplace_back(key, value.boolOr(true));
    });
    auto other = defaults.observe("openButton", [&](const std::string&, const Value&) { calls.emplace_back("wrong", false); });

    defaults.set("enableControl", false);  // on the main thread: at once
    ASSERT_EQ(calls.size(), 1u);

    std::thread worker([&] {
        defaults.set("enableControl", true);
        defaults.remove("enableControl");  // back to the registered default
    });
    worker.join();
    EXPECT_EQ(calls.size(), 1u);  // waits for the main loop
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return calls.size() == 3; }, 30));
    EXPECT_TRUE(allOnMain);
    EXPECT_EQ(calls[1], std::make_pair(std::string("enableControl"), true));
    EXPECT_EQ(calls[2], std::make_pair(std::string("enableControl"), true));
}

TEST(UserDefaults, ADeliveryQueuedBeforeCancellingIsDropped) {
    qvtest::TempDir dir;
    UserDefaults defaults(dir.file("d.plist"));
    int calls = 0;
    auto every = defaults.observe("", [&](const std::string&, const Value&) { ++calls; });
    std::thread([&] { defaults.set("yaw", 1.5f); }).join();
    every.cancel();
    while (RunLoop::main().runOnce(0)) {
    }
    EXPECT_EQ(calls, 0);
}

TEST(UserDefaults, SettingFromManyThreadsKeepsEveryKey) {
    qvtest::TempDir dir;
    UserDefaults defaults(dir.file("d.plist"));
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i) defaults.set("k" + std::to_string(t) + "." + std::to_string(i), i);
        });
    }
    for (auto& t : threads) t.join();
    while (RunLoop::main().runOnce(0)) {
    }
    ASSERT_TRUE(defaults.synchronize());
    EXPECT_EQ(readPropertyList(dir.file("d.plist")).size(), 800u);
}
