// The file-based host: its library listing, the editable copies it makes (never touching the
// original), the answers for unknown versions, and the record of calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/FileSizeLimit.h"
#include "common/TempDir.h"
#include "host/FileHost.h"
#include "host/RecordingEditManager.h"

namespace {

using qv::host::FileHost;
using qv::host::kExportKeyUniqueID;

void writeFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class FileHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(library.file("b.jpg"), "photo b");
        writeFile(library.file("a.TIF"), "photo a");
        writeFile(library.file("notes.txt"), "not a photo");
        std::filesystem::create_directory(library.file("folder.jpg"));
    }
    qvtest::TempDir library;
};

TEST_F(FileHostTest, ListsPhotoFilesOnlySortedAndWithoutEditableCopies) {
    FileHost host(library.path());
    writeFile(library.file("b (editable).jpg"), "edit of b");
    EXPECT_EQ(host.versions(), (std::vector<std::string>{"a.TIF", "b.jpg"}));
}

TEST_F(FileHostTest, SelectsKnownVersionsAndRefusesUnknownOnesWhole) {
    FileHost host(library.path());
    EXPECT_TRUE(host.select({"b.jpg", "a.TIF"}).empty());
    EXPECT_EQ(host.selectedVersionIds(), (std::vector<std::string>{"b.jpg", "a.TIF"}));
    EXPECT_EQ(host.select({"b.jpg", "missing.jpg", "notes.txt"}), (std::vector<std::string>{"missing.jpg", "notes.txt"}));
    EXPECT_TRUE(host.selectedVersionIds().empty());
}

TEST_F(FileHostTest, EditableVersionIsACopyBesideTheOriginal) {
    FileHost host(library.path());
    const auto made = host.editableVersionsOfVersions({"b.jpg"}, true);
    ASSERT_EQ(made.size(), 1u);
    const std::string id = made[0].at(kExportKeyUniqueID);
    EXPECT_EQ(id, "b (editable).jpg");
    const std::string path = host.pathOfEditableFileForVersion(id);
    EXPECT_EQ(std::filesystem::path(path), std::filesystem::absolute(library.file("b (editable).jpg")).lexically_normal());
    writeFile(path, "corrected");
    EXPECT_EQ(readFile(library.file("b.jpg")), "photo b");
    // A second session on the same photo continues its edit rather than starting over.
    host.editableVersionsOfVersions({"b.jpg"}, true);
    EXPECT_EQ(readFile(path), "corrected");
}

TEST_F(FileHostTest, OnlyARegularFileOfItsOwnIsHandedOutAndACopyCutShortIsNotKept) {
    FileHost host(library.path());
    namespace fs = std::filesystem;
    // A link under the editable name, to the original or to a file elsewhere, and a folder there.
    fs::create_symlink("b.jpg", library.file("b (editable).jpg"));
    writeFile(library.file("elsewhere.txt"), "not the library's");
    fs::create_symlink(library.file("elsewhere.txt"), library.file("a (editable).TIF"));
    EXPECT_TRUE(host.editableVersionsOfVersions({"b.jpg", "a.TIF"}, true).empty());
    EXPECT_EQ(host.pathOfEditableFileForVersion("b (editable).jpg"), "");
    EXPECT_EQ(host.pathOfEditableFileForVersion("a (editable).TIF"), "");
    EXPECT_TRUE(fs::is_symlink(library.file("b (editable).jpg")));
    EXPECT_EQ(readFile(library.file("b.jpg")), "photo b");
    EXPECT_EQ(readFile(library.file("elsewhere.txt")), "not the library's");

    // A copy that the file-size limit cuts short leaves nothing behind, neither under the editable
    // name nor as a temporary file.
    fs::remove(library.file("b (editable).jpg"));
    writeFile(library.file("c.jpg"), std::string(4096, 'c'));
    const auto before = listing(library.path());
    {
        qvtest::FileSizeLimit cap(1024);
        ASSERT_TRUE(cap.active());
        EXPECT_TRUE(host.editableVersionsOfVersions({"c.jpg"}, true).empty());
    }
    EXPECT_EQ(listing(library.path()), before);
    // Whole, it is made, and the next session takes it as it is.
    ASSERT_EQ(host.editableVersionsOfVersions({"c.jpg"}, true).size(), 1u);
    EXPECT_EQ(readFile(library.file("c (editable).jpg")), std::string(4096, 'c'));
}

TEST_F(FileHostTest, UnknownVersionsGetNoEditableVersionAndNoPath) {
    FileHost host(library.path());
    EXPECT_TRUE(host.editableVersionsOfVersions({"missing.jpg", "folder.jpg"}, true).empty());
    // Only editable copies are handed out for writing: never an original, nothing outside the folder.
    EXPECT_EQ(host.pathOfEditableFileForVersion("b.jpg"), "");
    EXPECT_EQ(host.pathOfEditableFileForVersion("missing (editable).jpg"), "");
    EXPECT_EQ(host.pathOfEditableFileForVersion("../b (editable).jpg"), "");
}

TEST_F(FileHostTest, RecordsCallsAndHowTheSessionEnded) {
    FileHost host(library.path(), {1, 2, 3, 4});
    EXPECT_EQ(host.apiForProtocol("ApertureEditManager"), &host);
    EXPECT_EQ(host.apiForProtocol("SomethingElse"), nullptr);
    host.select({"b.jpg"});
    host.selectedVersionIds();
    host.editableVersionsOfVersions({"b.jpg"}, true);
    EXPECT_EQ(host.apertureWindow().width, 3);
    EXPECT_EQ(host.sessionState(), "open");
    host.cancelEditSession();
    EXPECT_EQ(host.sessionState(), "cancelled");
    host.endEditSession();
    EXPECT_EQ(host.sessionState(), "ended");
    EXPECT_EQ(host.log().calls(),
              (std::vector<std::string>{"apiForProtocol ApertureEditManager", "apiForProtocol SomethingElse",
                                        "selectedVersionIds", "editableVersionsOfVersions [b.jpg] stacked",
                                        "apertureWindow", "cancelEditSession", "endEditSession"}));
}

TEST(RecordingEditManagerTest, AnswersWhatWasSetUpAndOffersNoManagerWhenAsked) {
    qv::host::RecordingEditManager host;
    host.selectOne("v1", "/photos/v1.jpg");
    EXPECT_EQ(host.selectedVersionIds(), (std::vector<std::string>{"v1"}));
    EXPECT_EQ(host.editableVersionsOfVersions({"v1"}, true).at(0).at(kExportKeyUniqueID), "v1-edit");
    EXPECT_EQ(host.pathOfEditableFileForVersion("v1-edit"), "/photos/v1.jpg");
    EXPECT_EQ(host.pathOfEditableFileForVersion("other"), "");
    host.offersEditManager = false;
    EXPECT_EQ(host.apiForProtocol("ApertureEditManager"), nullptr);
    EXPECT_EQ(host.log.names(), (std::vector<std::string>{"selectedVersionIds", "editableVersionsOfVersions",
                                                          "pathOfEditableFileForVersion",
                                                          "pathOfEditableFileForVersion", "apiForProtocol"}));
}

}  // namespace
