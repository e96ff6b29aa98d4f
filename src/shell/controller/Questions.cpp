#include "shell/controller/Questions.h"

#include "appkit/Alert.h"
#include "foundation/Bundle.h"

namespace shell {

QuestionAnswer askWithDontAskAgain(const std::string& message, const std::string& informative,
                                   const std::string& defaultButton, const std::string& alternateButton,
                                   const qv::ui::Image& icon) {
    auto alert = qv::ui::Alert::withButtons(message, defaultButton, alternateButton, "", informative);
    alert->setIcon(icon);
    auto box = qv::ui::Button::checkBox(qv::Rect(20, 20, 135, 20), qv::localizedString("DontAskAgain"));
    alert->window().contentView()->addSubview(box);
    const int code = alert->runModal();
    return {code == qv::ui::kAlertDefaultReturn, box->state() == qv::ui::kOnState};
}

}  // namespace shell
