// Thousands of damaged databases (bytes flipped, header words and link entries changed, the file cut
// at and around every table boundary) are read and queried: the reader must refuse or repair each
// one, and nothing may read outside what it holds (the sanitizer build watches for that).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cmath>
#include <limits>
#include <iterator>
#include <random>

#include "LensTestSupport.h"
#include "common/MutationRun.h"
#include "common/TempDir.h"

using namespace lenstest;

namespace {

// The reader's promise: every index it leaves lies inside its table or is -1.
void expectIndicesInsideTables(const DATDatabase& db) {
    auto inside = [](std::int32_t index, std::size_t count) {
        return index == -1 || (index >= 0 && std::size_t(index) < count);
    };
    for (const DATGroup& g : db.groups) EXPECT_TRUE(inside(g.next, db.groups.size()));
    for (const DATCamera& c : db.cameras) {
        EXPECT_TRUE(inside(c.group, db.groups.size()));
        EXPECT_TRUE(inside(c.next, db.cameras.size()));
    }
    for (const DATLens& l : db.lenses) {
        EXPECT_TRUE(inside(l.next, db.lenses.size()));
        if (l.firstCalibration == -1) {
            EXPECT_EQ(-1, l.lastCalibration);
        } else {
            EXPECT_TRUE(l.hasCalibration());
            EXPECT_LT(std::size_t(l.lastCalibration), db.calibrations.size());
        }
    }
}

// Every query the rest of the system asks, over everything the database holds.
void exerciseQueries(QVDatabaseLoader& loader, FakeController& controller) {
    const qv::Array cameras = loader.camInfoForLoadedDatabase();
    std::vector<std::string> groups;
    for (const qv::Value& c : cameras) {
        groups.push_back(c.get("camGroup").stringOr(""));
        loader.camGroupOfModel(c.get("menuModel").stringOr(""));
        loader.menuModelForExifModel(c.get("exifModel").stringOr(""));
        loader.cameraGroup(groups.back(), c.get("menuMake").stringOr(""));
    }
    const auto db = loader.database();
    for (const DATLens& l : db->lenses) groups.push_back(l.group);
    // Each group once: a repeated group only lists the same records again.
    std::sort(groups.begin(), groups.end());
    groups.erase(std::unique(groups.begin(), groups.end()), groups.end());
    const double focals[] = {0, 12.5, 1e9, std::numeric_limits<double>::quiet_NaN()};
    for (double focal : focals) {
        controller.focal = focal;
        controller.onlyMatching = focal == 12.5;
        const qv::Array lenses = loader.lensArrayForCamGroup(groups);
        for (const qv::Value& record : lenses) loader.correctionValuesForLensDict(record);
        for (std::size_t j = 0; j <= db->lenses.size(); ++j) {
            auto r = loader.correctionValuesForIndex(std::int64_t(j));
            if (r) {
                for (double v : *r) EXPECT_TRUE(std::isfinite(v));
            }
            loader.indexOfLens(j < db->lenses.size() ? db->lenses[j].name : std::string(), "G1");
        }
    }
}

class MutatedDatabaseTest : public testing::Test {
protected:
    qvtest::TempDir dir;
    const std::vector<std::uint8_t> original = encode(fixtureDatabase());
    int accepted = 0;
    int refused = 0;

    void check(const std::vector<std::uint8_t>& bytes) {
        const std::string path = dir.file("mutant.dat");
        // A fresh file each time: rewriting a truncated one makes the file system flush it to disk.
        std::remove(path.c_str());
        writeBytes(path, bytes);
        FakeController controller;
        QVDatabaseLoader loader;
        loader.setController(&controller);
        loader.setMultiplier(1.0);
        const bool ok = loader.loadPTLensDatabase(path);
        EXPECT_EQ(ok, loader.database() != nullptr);
        if (!ok) {
            ++refused;
            EXPECT_TRUE(loader.camInfoForLoadedDatabase().empty());
            return;
        }
        ++accepted;
        expectIndicesInsideTables(*loader.database());
        exerciseQueries(loader, controller);
    }
};

TEST_F(MutatedDatabaseTest, FlippedBytes) {
    std::mt19937 random(20240501);
    std::uniform_int_distribution<std::size_t> position(0, original.size() - 1);
    std::uniform_int_distribution<int> mask(1, 255), flips(1, 4);
    qvtest::MutationRun run("databases with flipped bytes", 2000);
    while (run.next()) {
        auto bytes = original;
        for (int f = flips(random); f > 0; --f) bytes[position(random)] ^= std::uint8_t(mask(random));
        check(bytes);
    }
    if (run.ranAll()) {
        EXPECT_GT(accepted, 0);
        EXPECT_GT(refused, 0);
    }
}

TEST_F(MutatedDatabaseTest, ChangedHeaderWordsAndLinkEntries) {
    std::mt19937 random(77);
    const std::int32_t size = std::int32_t(original.size());
    const std::int32_t interesting[] = {0, 1, -1, 2, 3, INT_MIN, INT_MAX, size, size - 1, size + 1, 63, 64,
                                        size / 2, -size, INT_MAX / 48 + 1, INT_MAX / 60 + 1, INT_MAX / 16 + 1};
    std::uniform_int_distribution<std::size_t> pick(0, std::size(interesting) - 1);
    std::uniform_int_distribution<int> headerWord(1, 15);
    std::uniform_int_distribution<std::size_t> anyWord(16, original.size() / 4 - 1);
    std::uniform_int_distribution<std::int32_t> anyValue(-size, 2 * size);
    std::bernoulli_distribution useInteresting(0.7);
    qvtest::MutationRun run("databases with changed words", 3000);
    while (run.next()) {
        auto bytes = original;
        // Half the mutants change the header, half a word anywhere after it (records, links, pool).
        const std::size_t at = run.index() % 2 ? std::size_t(headerWord(random)) * 4 : anyWord(random) * 4;
        lensdb::storeI32(bytes.data() + at, useInteresting(random) ? interesting[pick(random)] : anyValue(random));
        check(bytes);
    }
    if (run.ranAll()) {
        EXPECT_GT(accepted, 0);
        EXPECT_GT(refused, 0);
    }
}

TEST_F(MutatedDatabaseTest, TruncatedAtAndAroundEveryTableBoundary) {
    std::vector<std::size_t> cuts;
    for (int word = 3; word <= 15; ++word) {
        const std::int64_t offset = lensdb::loadI32(original.data() + word * 4);
        for (std::int64_t delta = -2; delta <= 2; ++delta)
            if (offset + delta >= 0 && offset + delta < std::int64_t(original.size()))
                cuts.push_back(std::size_t(offset + delta));
    }
    for (std::size_t size = 0; size < original.size(); size += 7) cuts.push_back(size);
    for (std::size_t size : cuts) {
        auto bytes = original;
        bytes.resize(size);
        check(bytes);
    }
    EXPECT_EQ(0, accepted);  // the pool ends the file, so every cut loses part of it
    auto whole = original;
    check(whole);
    EXPECT_EQ(1, accepted);
}

}  // namespace
