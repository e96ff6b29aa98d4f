#pragma once
// The names of a batch run's outputs. Four name parts, each a token chosen from a fixed list (the
// source's name or extension, a counter of one to four digits, a letter, a date) or a typed text,
// are joined into the output's name; the output type follows the source's extension or, for
// formats this program does not write, the chosen output type. Every combo counts on its own.
//
// Plain functions over plain state, so they run without the sheet: the controller keeps a
// NamingCounters and a NamingClock and passes the combos' choices in.
#include <array>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "output/QVOutputType.h"

namespace batch {

// The tokens of a name part, in the combos' item order.
enum class NameToken : int {
    FileName = 0,     // the source's last path component without its extension
    Extension = 1,    // the source's extension, without the dot
    Counter1 = 2,     // "0" .. "9", "10", ...
    Counter2 = 3,     // "00" .. "99", "100", ...
    Counter3 = 4,     // "000" .. "999", ...
    Counter4 = 5,     // "0000" .. "9999", ...
    SmallLetter = 6,  // "a" .. "z", then "a" again
    CapsLetter = 7,   // "A" .. "Z", then "A" again
    DateMDY = 8,      // "%m%d%y"
    DateMD = 9,       // "%m%d"
    DateYYYYMD = 10,  // "%Y%m%d"
    DateYYMD = 11,    // "%y%m%d"
    Nothing = 12,
};
inline constexpr int kNameTokenCount = 13;
// The combos' item titles, one per token in index order.
extern const std::array<const char*, kNameTokenCount> kNameTokenTitles;

// One combo's counters. They are advanced before use, so the first values are 0, "a" and "A".
struct ComboCounters {
    std::array<int, 4> digits{-1, -1, -1, -1};  // widths 1 to 4
    int smallLetter = 'a' - 1;
    int capsLetter = 'A' - 1;
};

// The counters of the four combos; reset at the start of every run.
struct NamingCounters {
    std::array<ComboCounters, 4> combos{};
    void reset() { *this = NamingCounters(); }
};

// Where the date tokens take the time from, and how it becomes calendar fields. The default is
// the system clock in the user's time zone; tests give a fixed time and zone.
struct NamingClock {
    std::function<std::time_t()> now;
    std::function<std::tm(std::time_t)> calendar;
    static NamingClock system();
    // A fixed instant seen at a fixed offset east of UTC (seconds).
    static NamingClock fixed(std::time_t instant, long utcOffsetSeconds);
};

// What a combo holds: a selected token, or typed text when no item is selected.
struct NamePart {
    int selectedIndex = -1;  // -1: nothing selected, the typed text is the part
    std::string typedText;
    static NamePart token(NameToken t) { return NamePart{int(t), {}}; }
    static NamePart typed(std::string text) { return NamePart{-1, std::move(text)}; }
};
using NameParts = std::array<NamePart, 4>;

// The text of a token for a source, advancing the counter it shows; nothing for Nothing and for
// an index outside the table.
std::optional<std::string> textForIndex(int index, ComboCounters& counters, const std::string& source,
                                        const NamingClock& clock);

// One combo's part (combo 1 to 4; another number gives nothing).
std::optional<std::string> stringFromCombo(int combo, const NameParts& parts, NamingCounters& counters,
                                           const std::string& source, const NamingClock& clock);

// The output's name without extension: the four parts joined in order, absent parts left out.
// Made once per file, so each counter in use advances by one.
std::string destinationName(const NameParts& parts, NamingCounters& counters, const std::string& source,
                            const NamingClock& clock);

// Whether the typed parts may go into a file name: a part holding "/" or ".." would lead the
// output out of the destination folder.
bool typedPartsAreValid(const NameParts& parts);

// The output type of a path: the type its extension names, ignoring case ("jpeg"/"jpg",
// "tiff"/"tif", "psd", "exr"); any other extension gives the chosen type.
QVOutputType::Type destinationTypeFor(const std::string& path, QVOutputType::Type chosenType);
// Whether the extension, ignoring case, names one of the written types.
bool isWrittenFormatExtension(const std::string& extension);

// The extension a batch output of a type gets: the type's longest name ("jpeg", "tiff", "psd",
// "exr").
const char* extensionForType(QVOutputType::Type type);

// The folder as the destination field gives it, with "/" appended when missing.
std::string destinationFolder(const std::string& field);

// The sample shown in the sheet: "MyFile" for the name token, "jpg" for the extension token,
// any other part as it comes out, then ".jpg". Advances the counters it shows.
std::string sampleName(const NameParts& parts, NamingCounters& counters, const NamingClock& clock);

}  // namespace batch
