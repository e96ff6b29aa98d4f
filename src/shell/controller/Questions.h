#pragma once
// The questions start-up asks with a "don't ask again" check box beside the buttons.
#include <string>

#include "appkit/Image.h"

namespace shell {

struct QuestionAnswer {
    bool firstButton = false;  // the default button was pressed (else the alternate one)
    bool dontAskAgain = false; // the state of the check box when the question was answered
};

// An alert with the message, the informative text, a default and an alternate button and a
// check box titled with the localized "DontAskAgain" at (20, 20), 135 x 20 points, run modally.
// A valid icon is shown in place of the window system's warning icon.
QuestionAnswer askWithDontAskAgain(const std::string& message, const std::string& informative,
                                   const std::string& defaultButton, const std::string& alternateButton,
                                   const qv::ui::Image& icon = {});

}  // namespace shell
