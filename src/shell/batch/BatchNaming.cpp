#include "shell/batch/BatchNaming.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "foundation/Paths.h"

namespace batch {

const std::array<const char*, kNameTokenCount> kNameTokenTitles = {
    "Name",     "Extension", "1 Digit", "2 Digits", "3 Digits", "4 Digits", "a..z",
    "A..Z",     "mmddyy",    "mmdd",    "yyyymmdd", "yymmdd",   "None"};

namespace {

std::string lowercased(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Width w pads with leading zeros up to w digits; larger numbers are written as they are.
std::string paddedNumber(int value, int width) {
    char text[32];
    std::snprintf(text, sizeof text, "%0*d", width, value);
    return text;
}

std::string formattedDate(const NamingClock& clock, const char* format) {
    const NamingClock fallback = NamingClock::system();
    const std::time_t now = clock.now ? clock.now() : fallback.now();
    const std::tm fields = clock.calendar ? clock.calendar(now) : fallback.calendar(now);
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, format, &fields);
    return std::string(text, length);
}

}  // namespace

NamingClock NamingClock::system() {
    return NamingClock{[] { return std::time(nullptr); },
                       [](std::time_t t) {
                           std::tm fields{};
                           localtime_r(&t, &fields);
                           return fields;
                       }};
}

NamingClock NamingClock::fixed(std::time_t instant, long utcOffsetSeconds) {
    return NamingClock{[instant] { return instant; },
                       [utcOffsetSeconds](std::time_t t) {
                           const std::time_t shifted = t + utcOffsetSeconds;
                           std::tm fields{};
                           gmtime_r(&shifted, &fields);
                           return fields;
                       }};
}

std::optional<std::string> textForIndex(int index, ComboCounters& counters, const std::string& source,
                                        const NamingClock& clock) {
    switch (NameToken(index)) {
        case NameToken::FileName: return qv::paths::deletingPathExtension(qv::paths::lastPathComponent(source));
        case NameToken::Extension: return qv::paths::pathExtension(source);
        case NameToken::Counter1:
        case NameToken::Counter2:
        case NameToken::Counter3:
        case NameToken::Counter4: {
            const int width = index - int(NameToken::Counter1) + 1;
            int& counter = counters.digits[std::size_t(width - 1)];
            return paddedNumber(++counter, width);
        }
        case NameToken::SmallLetter:
            if (++counters.smallLetter > 'z') counters.smallLetter = 'a';
            return std::string(1, char(counters.smallLetter));
        case NameToken::CapsLetter:
            if (++counters.capsLetter > 'Z') counters.capsLetter = 'A';
            return std::string(1, char(counters.capsLetter));
        case NameToken::DateMDY: return formattedDate(clock, "%m%d%y");
        case NameToken::DateMD: return formattedDate(clock, "%m%d");
        case NameToken::DateYYYYMD: return formattedDate(clock, "%Y%m%d");
        case NameToken::DateYYMD: return formattedDate(clock, "%y%m%d");
        case NameToken::Nothing: break;
    }
    return std::nullopt;
}

std::optional<std::string> stringFromCombo(int combo, const NameParts& parts, NamingCounters& counters,
                                           const std::string& source, const NamingClock& clock) {
    if (combo < 1 || combo > 4) return std::nullopt;
    const NamePart& part = parts[std::size_t(combo - 1)];
    if (part.selectedIndex < 0) return part.typedText;
    return textForIndex(part.selectedIndex, counters.combos[std::size_t(combo - 1)], source, clock);
}

std::string destinationName(const NameParts& parts, NamingCounters& counters, const std::string& source,
                            const NamingClock& clock) {
    std::string name;
    for (int combo = 1; combo <= 4; ++combo)
        if (std::optional<std::string> part = stringFromCombo(combo, parts, counters, source, clock)) name += *part;
    return name;
}

bool typedPartsAreValid(const NameParts& parts) {
    return std::none_of(parts.begin(), parts.end(), [](const NamePart& part) {
        return part.selectedIndex < 0 && (part.typedText.find('/') != std::string::npos ||
                                          part.typedText.find("..") != std::string::npos);
    });
}

QVOutputType::Type destinationTypeFor(const std::string& path, QVOutputType::Type chosenType) {
    return QVOutputType::typeOfExtension(lowercased(qv::paths::pathExtension(path))).value_or(chosenType);
}

bool isWrittenFormatExtension(const std::string& extension) {
    return QVOutputType::typeOfExtension(lowercased(extension)).has_value();
}

const char* extensionForType(QVOutputType::Type type) {
    const auto& names = QVOutputType::info(type).names;
    const char* longest = names[0];
    for (const char* name : names)
        if (name && std::strlen(name) > std::strlen(longest)) longest = name;
    return longest;
}

std::string destinationFolder(const std::string& field) {
    if (!field.empty() && field.back() == '/') return field;
    return field + "/";
}

std::string sampleName(const NameParts& parts, NamingCounters& counters, const NamingClock& clock) {
    std::string sample;
    for (int combo = 1; combo <= 4; ++combo) {
        const int selected = parts[std::size_t(combo - 1)].selectedIndex;
        if (selected == int(NameToken::FileName)) sample += "MyFile";
        else if (selected == int(NameToken::Extension)) sample += "jpg";
        else if (std::optional<std::string> part = stringFromCombo(combo, parts, counters, "", clock)) sample += *part;
    }
    return sample + ".jpg";
}

}  // namespace batch
