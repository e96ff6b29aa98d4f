#pragma once
// What the headless front end does, one action at a time: the lines of a script and the options of
// "quorvelci correct" both become these actions, and one runner carries them out, so the two ways
// in behave alike.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace frontend {

// The save panel's choices for one save; absent ones follow the output's extension or stay as the
// panel shows them.
struct SaveChoices {
    std::optional<std::string> type;         // jpeg, jpg, tiff, tif, psd or exr
    std::optional<std::string> quality;      // the JPEG quality slider, 0 to 1
    std::optional<std::string> compression;  // none, lzw or packbits
    std::optional<std::string> depth;        // 8 or 16 bits per sample
};

struct Action {
    enum class Verb { Open, Lens, Set, SaveAs, Save, AnswerAlert, AnswerPanel, ExpectAlert, Print, Command };
    Verb verb = Verb::Open;
    std::string subject;  // the path, lens name, control, alert text, button or what to print
    std::string value;    // the control's value (set)
    SaveChoices save;     // save-as only
    std::vector<std::string> words;  // a command's words (the command's name is the subject)
    int line = 0;         // the script's line; 0 for the command line's options
};

// Parses one script line. Nothing (and no error) for a blank line or a comment; nothing and the
// reason in *error for a line that is not an action.
std::optional<Action> parseLine(const std::string& line, int number, std::string* error);

// The arguments of a command on one photo: options, each followed by its value, and the photo. "--"
// ends the options, so a photo named "-x.jpg" may follow it. `known` says whether an option exists (an
// unknown one is refused before its value is looked for); `take` keeps an option's value and returns
// why it cannot, or "" when it can. The first fault found goes into `error`.
bool readPhotoAndOptions(const std::vector<std::string>& arguments, std::string& photo,
                         const std::function<bool(const std::string& option)>& known,
                         const std::function<std::string(const std::string& option, const std::string& value)>& take,
                         std::string* error);

// Parses "correct PHOTO -o OUTPUT [options]" (the arguments after "correct") into the actions a
// person would take: open, choose the lens, load the preset (--preset), set the controls in the
// order of `controlOrder`, save the preset (--save-preset), save as. False and the reason when the arguments are not understood.
bool parseCorrect(const std::vector<std::string>& arguments, const std::vector<std::string>& controlOrder,
                  std::vector<Action>& actions, std::string* error);

// A number written whole (no trailing text) and finite.
std::optional<double> numberOf(const std::string& text);

// Splits text into words at blanks; double quotes keep blanks inside a word. False when a quote
// is left open.
bool splitWords(const std::string& text, std::vector<std::string>& words);

}  // namespace frontend
