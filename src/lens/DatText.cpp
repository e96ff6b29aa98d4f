#include "lens/DatText.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <set>
#include <vector>

#include "lens/Utf8.h"

namespace lensdb {
namespace {

const char* const kPreamble =
    "# Lens database source: \"qv-lensdb build <source> <PTLens.dat>\" makes the binary database,\n"
    "# \"qv-lensdb dump <PTLens.dat>\" gives this text back.\n"
    "# Records start at the left margin, their fields are indented below them:\n"
    "#   group \"<name>\"\n"
    "#   camera \"<menu make>\" \"<menu model>\"\n"
    "#       exif \"<make>\" \"<model>\", group \"<name>\" or <index>, multiplier <crop>, standard <n>\n"
    "#   lens \"<name>\"\n"
    "#       group \"<name>\", multiplier <crop>, max aperture <APEX>, focal range <min> <max>,\n"
    "#       calibration <focal length> <a> <b> <c> (one line per focal length, ascending)\n"
    "# Any record may carry next <index>. Strings take \\\" \\\\ and \\xHH escapes.\n";

struct Token {
    bool quoted = false;
    std::string text;
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool tokenize(std::string_view line, std::vector<Token>& tokens, std::string& error) {
    std::size_t i = 0;
    while (i < line.size()) {
        char ch = line[i];
        if (isBlank(ch)) {
            ++i;
        } else if (ch == '#') {
            break;
        } else if (ch == '"') {
            Token token{true, {}};
            bool closed = false;
            ++i;
            while (i < line.size() && !closed) {
                char c = line[i++];
                if (c == '"') {
                    closed = true;
                } else if (c != '\\') {
                    token.text += c;
                } else if (i < line.size() && (line[i] == '\\' || line[i] == '"')) {
                    token.text += line[i++];
                } else if (i + 2 < line.size() && line[i] == 'x' && hexDigit(line[i + 1]) >= 0 &&
                           hexDigit(line[i + 2]) >= 0) {
                    int value = hexDigit(line[i + 1]) * 16 + hexDigit(line[i + 2]);
                    if (value == 0) {
                        error = "a name cannot hold a NUL byte";
                        return false;
                    }
                    token.text += char(value);
                    i += 3;
                } else {
                    error = "unknown escape in a string (use \\\", \\\\ or \\xHH)";
                    return false;
                }
            }
            if (!closed) {
                error = "unterminated string";
                return false;
            }
            tokens.push_back(std::move(token));
        } else {
            std::size_t start = i;
            while (i < line.size() && !isBlank(line[i]) && line[i] != '"' && line[i] != '#') ++i;
            tokens.push_back({false, std::string(line.substr(start, i - start))});
        }
    }
    return true;
}

enum class Kind { Group, Camera, Lens };

enum class Field {
    GroupNext,
    CameraExif,
    CameraGroup,
    CameraMultiplier,
    CameraStandard,
    CameraNext,
    LensGroup,
    LensMultiplier,
    LensMaxAperture,
    LensFocalRange,
    LensCalibration,
    LensNext,
};

// Argument letters: S a quoted string, F a number, I an integer, G a group (quoted name or index).
struct FieldSpec {
    Kind kind;
    const char* keyword;
    const char* args;
    Field field;
    bool repeatable;
};

constexpr FieldSpec kFields[] = {
    {Kind::Group, "next", "I", Field::GroupNext, false},
    {Kind::Camera, "exif", "SS", Field::CameraExif, false},
    {Kind::Camera, "group", "G", Field::CameraGroup, false},
    {Kind::Camera, "multiplier", "F", Field::CameraMultiplier, false},
    {Kind::Camera, "standard", "I", Field::CameraStandard, false},
    {Kind::Camera, "next", "I", Field::CameraNext, false},
    {Kind::Lens, "group", "S", Field::LensGroup, false},
    {Kind::Lens, "multiplier", "F", Field::LensMultiplier, false},
    {Kind::Lens, "max aperture", "F", Field::LensMaxAperture, false},
    {Kind::Lens, "focal range", "FF", Field::LensFocalRange, false},
    {Kind::Lens, "calibration", "FFFF", Field::LensCalibration, true},
    {Kind::Lens, "next", "I", Field::LensNext, false},
};

// The number of leading tokens that spell `keyword` (its words one bare token each), or 0.
std::size_t keywordLength(const std::vector<Token>& tokens, std::string_view keyword) {
    std::size_t count = 0;
    while (!keyword.empty()) {
        std::size_t space = keyword.find(' ');
        std::string_view word = keyword.substr(0, space);
        if (count >= tokens.size() || tokens[count].quoted || tokens[count].text != word) return 0;
        ++count;
        keyword = space == std::string_view::npos ? std::string_view() : keyword.substr(space + 1);
    }
    return count;
}

struct Arg {
    std::string text;  // S, and G by name
    float number = 0;  // F
    std::int32_t integer = 0;  // I, and G by index
    bool isIndex = false;
};

template <typename T>
bool parseNumber(const std::string& text, T& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

bool parseArgs(const std::vector<Token>& tokens, std::size_t from, std::string_view letters, std::vector<Arg>& args,
               std::string& error) {
    if (tokens.size() - from != letters.size()) {
        error = "expected " + std::to_string(letters.size()) + " value(s)";
        return false;
    }
    for (std::size_t n = 0; n < letters.size(); ++n) {
        const Token& token = tokens[from + n];
        Arg arg;
        bool good;
        switch (letters[n]) {
        case 'S': good = token.quoted; arg.text = token.text; break;
        case 'F': good = !token.quoted && parseNumber(token.text, arg.number); break;
        case 'I': good = !token.quoted && parseNumber(token.text, arg.integer); break;
        default:  // G
            arg.isIndex = !token.quoted;
            good = token.quoted || parseNumber(token.text, arg.integer);
            arg.text = token.text;
            break;
        }
        if (!good) {
            error = "bad value \"" + token.text + "\"";
            return false;
        }
        args.push_back(std::move(arg));
    }
    return true;
}

// What the parser gathers before names and calibration ranges can be resolved.
struct CameraGroupRef {
    Arg ref;
    bool set = false;
    int line = 0;
};

struct Parser {
    DATDatabase db;
    std::vector<CameraGroupRef> cameraGroups;
    std::vector<std::vector<DATCalibration>> lensCalibrations;
    bool haveRecord = false;
    Kind kind = Kind::Group;
    std::set<Field> seen;

    bool startRecord(const std::vector<Token>& tokens, int line, std::string& error) {
        std::vector<Arg> args;
        const std::string word = tokens[0].quoted ? std::string() : tokens[0].text;
        if (word == "group" && parseArgs(tokens, 1, "S", args, error)) {
            kind = Kind::Group;
            db.groups.push_back({-1, args[0].text});
        } else if (word == "camera" && parseArgs(tokens, 1, "SS", args, error)) {
            kind = Kind::Camera;
            DATCamera camera;
            camera.menuMake = args[0].text;
            camera.menuModel = args[1].text;
            db.cameras.push_back(std::move(camera));
            cameraGroups.push_back({Arg{}, false, line});
        } else if (word == "lens" && parseArgs(tokens, 1, "S", args, error)) {
            kind = Kind::Lens;
            DATLens lens;
            lens.name = args[0].text;
            db.lenses.push_back(std::move(lens));
            lensCalibrations.emplace_back();
        } else {
            if (error.empty()) error = "expected a record: group, camera or lens";
            return false;
        }
        haveRecord = true;
        seen.clear();
        return true;
    }

    bool addField(const std::vector<Token>& tokens, std::string& error) {
        if (!haveRecord) {
            error = "an indented field before any record";
            return false;
        }
        for (const FieldSpec& spec : kFields) {
            if (spec.kind != kind) continue;
            std::size_t length = keywordLength(tokens, spec.keyword);
            if (length == 0) continue;
            if (!spec.repeatable && !seen.insert(spec.field).second) {
                error = std::string("\"") + spec.keyword + "\" given twice";
                return false;
            }
            std::vector<Arg> args;
            if (!parseArgs(tokens, length, spec.args, args, error)) return false;
            apply(spec.field, args);
            return true;
        }
        error = "unknown field \"" + tokens[0].text + "\"";
        return false;
    }

    void apply(Field field, const std::vector<Arg>& args) {
        switch (field) {
        case Field::GroupNext: db.groups.back().next = args[0].integer; break;
        case Field::CameraExif:
            db.cameras.back().exifMake = args[0].text;
            db.cameras.back().exifModel = args[1].text;
            break;
        case Field::CameraGroup:
            cameraGroups.back().ref = args[0];
            cameraGroups.back().set = true;
            break;
        case Field::CameraMultiplier: db.cameras.back().multiplier = args[0].number; break;
        case Field::CameraStandard: db.cameras.back().standard = args[0].integer; break;
        case Field::CameraNext: db.cameras.back().next = args[0].integer; break;
        case Field::LensGroup: db.lenses.back().group = args[0].text; break;
        case Field::LensMultiplier: db.lenses.back().multiplier = args[0].number; break;
        case Field::LensMaxAperture: db.lenses.back().maxAperture = args[0].number; break;
        case Field::LensFocalRange:
            db.lenses.back().minFocalLength = args[0].number;
            db.lenses.back().maxFocalLength = args[1].number;
            break;
        case Field::LensCalibration:
            lensCalibrations.back().push_back({args[0].number, args[1].number, args[2].number, args[3].number});
            break;
        case Field::LensNext: db.lenses.back().next = args[0].integer; break;
        }
    }

    bool finish(std::string& error) {
        for (std::size_t i = 0; i < db.cameras.size(); ++i) {
            const CameraGroupRef& r = cameraGroups[i];
            if (!r.set) continue;
            std::int32_t index = -1;
            if (r.ref.isIndex) {
                if (r.ref.integer >= 0 && std::size_t(r.ref.integer) < db.groups.size()) index = r.ref.integer;
            } else {
                for (std::size_t g = 0; g < db.groups.size() && index < 0; ++g)
                    if (db.groups[g].name == r.ref.text) index = std::int32_t(g);
            }
            if (index < 0) {
                error = "line " + std::to_string(r.line) + ": camera names group \"" + r.ref.text +
                        "\", which no group record declares";
                return false;
            }
            db.cameras[i].group = index;
        }
        for (std::size_t j = 0; j < db.lenses.size(); ++j) {
            const std::vector<DATCalibration>& records = lensCalibrations[j];
            if (records.empty()) continue;
            db.lenses[j].firstCalibration = std::int32_t(db.calibrations.size());
            db.calibrations.insert(db.calibrations.end(), records.begin(), records.end());
            db.lenses[j].lastCalibration = std::int32_t(db.calibrations.size() - 1);
        }
        return true;
    }
};

// The shortest decimal form that reads back as the same float.
std::string formatFloat(float value) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general);
    if (ec != std::errc()) return "nan";
    return std::string(buffer, end);
}

std::string quote(std::string_view text) {
    std::string out = "\"";
    for (std::size_t pos = 0; pos < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[pos]);
        std::size_t length = utf8SequenceLength(text, pos);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
            ++pos;
        } else if (length == 0 || c < 0x20 || c == 0x7F) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            out += escape;
            ++pos;
        } else {
            out.append(text.substr(pos, length));
            pos += length;
        }
    }
    return out + "\"";
}

void appendNext(std::string& out, std::int32_t next) {
    if (next >= 0) out += "    next " + std::to_string(next) + "\n";
}

}  // namespace

bool parseDatabaseText(std::string_view text, DATDatabase& db, std::string& error) {
    Parser parser;
    int lineNumber = 0;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        std::vector<Token> tokens;
        std::string problem;
        bool good = tokenize(line, tokens, problem);
        if (good && !tokens.empty()) {
            bool indented = isBlank(line[0]);
            good = indented ? parser.addField(tokens, problem) : parser.startRecord(tokens, lineNumber, problem);
        }
        if (!good) {
            error = "line " + std::to_string(lineNumber) + ": " + problem;
            return false;
        }
    }
    if (!parser.finish(error)) return false;
    db = std::move(parser.db);
    return true;
}

std::string formatDatabaseText(const DATDatabase& db) {
    std::string out = kPreamble;
    if (!db.groups.empty()) out += "\n";
    for (const DATGroup& g : db.groups) {
        out += "group " + quote(g.name) + "\n";
        appendNext(out, g.next);
    }
    for (const DATCamera& c : db.cameras) {
        out += "\ncamera " + quote(c.menuMake) + " " + quote(c.menuModel) + "\n";
        out += "    exif " + quote(c.exifMake) + " " + quote(c.exifModel) + "\n";
        if (c.group >= 0 && std::size_t(c.group) < db.groups.size()) {
            const std::string& name = db.groups[std::size_t(c.group)].name;
            bool firstOfName = true;
            for (std::int32_t g = 0; g < c.group; ++g)
                if (db.groups[std::size_t(g)].name == name) firstOfName = false;
            out += "    group " + (firstOfName ? quote(name) : std::to_string(c.group)) + "\n";
        }
        out += "    multiplier " + formatFloat(c.multiplier) + "\n";
        out += "    standard " + std::to_string(c.standard) + "\n";
        appendNext(out, c.next);
    }
    for (const DATLens& l : db.lenses) {
        out += "\nlens " + quote(l.name) + "\n";
        out += "    group " + quote(l.group) + "\n";
        out += "    multiplier " + formatFloat(l.multiplier) + "\n";
        out += "    max aperture " + formatFloat(l.maxAperture) + "\n";
        out += "    focal range " + formatFloat(l.minFocalLength) + " " + formatFloat(l.maxFocalLength) + "\n";
        if (l.hasCalibration() && std::size_t(l.lastCalibration) < db.calibrations.size()) {
            for (std::int32_t k = l.firstCalibration; k <= l.lastCalibration; ++k) {
                const DATCalibration& cal = db.calibrations[std::size_t(k)];
                out += "    calibration " + formatFloat(cal.focalLength) + " " + formatFloat(cal.a) + " " +
                       formatFloat(cal.b) + " " + formatFloat(cal.c) + "\n";
            }
        }
        appendNext(out, l.next);
    }
    return out;
}

}  // namespace lensdb
