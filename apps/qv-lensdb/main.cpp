// qv-lensdb: builds a resource lens database ("PTLens.dat") from its text source and dumps any such
// database back to text.
//
//   qv-lensdb build <source.txt> <PTLens.dat>
//   qv-lensdb dump <PTLens.dat> [<source.txt>]      (standard output when no text file is given)
#include <iostream>
#include <string>

#include "foundation/Files.h"
#include "lens/DatReader.h"
#include "lens/DatText.h"
#include "lens/DatWriter.h"

namespace {

constexpr const char* kUsage =
    "usage: qv-lensdb build <source.txt> <PTLens.dat>\n"
    "       qv-lensdb dump <PTLens.dat> [<source.txt>]      (standard output when no text file is given)\n";

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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string command = argv[1];
    if (command == "--help" || command == "-h") {
        std::cout << kUsage;
        return 0;
    }
    if (command == "build" && argc == 4) return build(argv[2], argv[3]);
    if (command == "dump" && (argc == 3 || argc == 4)) {
        const std::string output = argc == 4 ? argv[3] : std::string();
        return dump(argv[2], argc == 4 ? &output : nullptr);
    }
    return usage();
}
