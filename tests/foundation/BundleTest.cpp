#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>

#include "common/TempDir.h"
#include "foundation/Bundle.h"
#include "foundation/Files.h"
#include "foundation/PropertyList.h"

using namespace qv;

namespace {

// Points the main bundle at another folder for the length of a test.
class ResourceDirOverride {
public:
    explicit ResourceDirOverride(const std::string& path) { setenv("QV_RESOURCE_DIR", path.c_str(), 1); }
    ~ResourceDirOverride() { unsetenv("QV_RESOURCE_DIR"); }
};

void writeTable(const std::string& path, const std::string& key, const std::string& text, long mtime) {
    Value table;
    table[key] = text;
    ASSERT_TRUE(writePropertyList(table, path));
    const struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

}  // namespace

TEST(Bundle, TheBuildTreeResourcesHoldTheStringTableTheSystemUses) {
    Bundle bundle = Bundle::main();
    EXPECT_EQ(bundle.resourcePath(), qvtest::binaryDir() + "/Resources");
    auto tablePath = bundle.pathForResource("Localizable", "strings");
    ASSERT_TRUE(tablePath);
    Value table = readPropertyList(*tablePath);
    ASSERT_TRUE(table.isDictionary());
    const char* keys[] = {"OpenErrorMessage", "SaveErrorMessage", "NoMatchFound", "No Match Found", "ReplaceDBTitle",
                          "ReplaceDBMessage", "DontAskAgain", "CouldNotCreateFolderWarning",
                          "CouldNotCreateFolderMessage", "NoDatabaseWarning", "DatabaseSelecComment", "OKButton",
                          "Cancel", "AlertTitle", "AlertMessage", "Save As\u2026", "DontSave", "Save", "SaveAs",
                          "k_pZentuLink", "Please tell Quorvel which lenses you own.",
                          "This will aid in the auto-selection of correction settings.", "kRectilinear",
                          "kScanningCamera", "kCircularFisheye", "kFullFrameFisheye", "kEquirectangular",
                          "kOrthographic", "kRadial", "kVertical", "kHorizontal", "DestinationNameError",
                          "SelectDestination", "InvalidParentDirectory", "SelectProperParent", "NoSourceFile",
                          "PleaseSelectSource", "BatchProcessingDone", "MessageAfterBatchProcessing"};
    for (const char* key : keys) {
        EXPECT_TRUE(table.get(key).isString()) << key;
        EXPECT_FALSE(table.get(key).stringOr("").empty()) << key;
    }
    EXPECT_NE(localizedString("OpenErrorMessage"), "OpenErrorMessage");
    EXPECT_EQ(localizedString("NoSuchKeyAnywhere"), "NoSuchKeyAnywhere");
}

TEST(Bundle, ResourceFolderCanBePointedElsewhereAndTablesAreReadAgainWhenChanged) {
    qvtest::TempDir dir;
    ResourceDirOverride resources(dir.path());
    EXPECT_EQ(Bundle::main().resourcePath(), dir.path());
    EXPECT_EQ(Bundle::main().builtInPlugInsPath(), dir.path() + "/PlugIns");
    EXPECT_FALSE(Bundle::main().pathForResource("PTLens", "dat"));
    EXPECT_EQ(localizedString("Cancel"), "Cancel");  // no table at all: the key

    ASSERT_TRUE(files::writeWhole(dir.file("PTLens.dat"), std::string_view("PDAT")));
    ASSERT_TRUE(files::writeWhole(dir.file("exiftool"), std::string_view("#!/bin/sh\n")));
    EXPECT_EQ(Bundle::main().pathForResource("PTLens", "dat").value_or(""), dir.file("PTLens.dat"));
    EXPECT_EQ(Bundle::main().pathForResource("exiftool").value_or(""), dir.file("exiftool"));

    writeTable(dir.file("Localizable.strings"), "Cancel", "Abbrechen", 1000000000);
    EXPECT_EQ(localizedString("Cancel"), "Abbrechen");
    writeTable(dir.file("Localizable.strings"), "Cancel", "Annuler", 1000000100);
    EXPECT_EQ(localizedString("Cancel"), "Annuler");

    ASSERT_TRUE(files::writeWhole(dir.file("Localizable.strings"), std::string_view("<plist><dict>")));
    EXPECT_EQ(localizedString("Cancel"), "Cancel");  // a broken table is no table
}

TEST(Bundle, ALibrarysOwnBundleBecomesTheMainOneAfterTheEnvironment) {
    qvtest::TempDir library, environment;
    const std::string before = Bundle::main().resourcePath();
    Bundle::setMainResourcePath(library.path());
    EXPECT_EQ(Bundle::main().resourcePath(), library.path());
    {
        ResourceDirOverride resources(environment.path());
        EXPECT_EQ(Bundle::main().resourcePath(), environment.path());
    }
    Bundle::setMainResourcePath("");
    EXPECT_EQ(Bundle::main().resourcePath(), before);
}
