// qv-lensdb: builds a resource lens database ("PTLens.dat") from its text source, dumps any such
// database back to text, and converts a folder of lens calibration data (XML) into that text.
//
//   qv-lensdb build <source.txt> <PTLens.dat>
//   qv-lensdb dump <PTLens.dat> [<source.txt>]      (standard output when no text file is given)
//   qv-lensdb import-lensdata <folder> <source.txt> (prints what was converted and skipped)
#include <iostream>
#include <string>

#include "foundation/Files.h"
#include "lens/DatReader.h"
#include "lens/DatText.h"
#include "lens/DatWriter.h"
#include "lens/LensDataImport.h"

namespace {

constexpr const char* kUsage =
    "usage: qv-lensdb build <source.txt> <PTLens.dat>\n"
    "       qv-lensdb dump <PTLens.dat> [<source.txt>]      (standard output when no text file is given)\n"
    "       qv-lensdb import-lensdata <folder> <source.txt> (the folder's lens calibration XML files)\n";

int usage() {
    std::cerr << kUsage;
    return 2;
}

int build(const std::string& sourcePath, const std::string& outputPath) {
    const auto source = qv::files::readWhole(sourcePath);
    if (!source) {
        std::cerr << "qv-lensdb: cannot read " << sourcePath << "\n";
        return 1;
    }
    const std::string_view text(reinterpret_cast<const char*>(source->data()), source->size());
    DATDatabase db;
    std::string error;
    if (!lensdb::parseDatabaseText(text, db, error)) {
        std::cerr << sourcePath << ":" << error << "\n";
        return 1;
    }
    if (!lensdb::writeDatabaseFile(db, outputPath, error)) {
        std::cerr << "qv-lensdb: " << error << "\n";
        return 1;
    }
    return 0;
}

int dump(const std::string& databasePath, const std::string* outputPath) {
    lensdb::ReadResult result = lensdb::readDatabaseFile(databasePath);
    if (!result.ok()) {
        std::cerr << "qv-lensdb: " << databasePath << ": " << result.message << "\n";
        return 1;
    }
    const std::string text = lensdb::formatDatabaseText(result.database);
    if (!outputPath) {
        std::cout << text;
        std::cout.flush();
        return std::cout ? 0 : 1;
    }
    if (!qv::files::writeWhole(*outputPath, text)) {
        std::cerr << "qv-lensdb: cannot write " << *outputPath << "\n";
        return 1;
    }
    return 0;
}

// Converts the XML files of the folder into the text form, refusing a result the builder would
// refuse, and prints the counts of what it took and left.
int importLensData(const std::string& folder, const std::string& outputPath) {
    lensdata::Catalogue catalogue;
    std::string error;
    if (!lensdata::readCatalogueFolder(folder, catalogue, error)) {
        std::cerr << "qv-lensdb: " << error << "\n";
        return 1;
    }
    lensdata::ImportReport report;
    const DATDatabase db = lensdata::convertCatalogue(catalogue, report);
    std::vector<std::uint8_t> bytes;
    if (!lensdb::encodeDatabase(db, bytes, error)) {
        std::cerr << "qv-lensdb: " << folder << ": the converted database cannot be built: " << error << "\n";
        return 1;
    }
    if (!qv::files::writeWhole(outputPath, lensdb::formatDatabaseText(db))) {
        std::cerr << "qv-lensdb: cannot write " << outputPath << "\n";
        return 1;
    }
    std::cout << lensdata::formatReport(report);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string command = argv[1];
    if (command == "--help" || command == "-h") {
        std::cout << kUsage;
        return 0;
    }
    if (command == "build" && argc == 4) return build(argv[2], argv[3]);
    if (command == "import-lensdata" && argc == 4) return importLensData(argv[2], argv[3]);
    if (command == "dump" && (argc == 3 || argc == 4)) {
        const std::string output = argc == 4 ? argv[3] : std::string();
        return dump(argv[2], argc == 4 ? &output : nullptr);
    }
    return usage();
}
