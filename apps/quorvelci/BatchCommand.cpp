#include "BatchCommand.h"

#include <unistd.h>

#include <cstdio>
#include <map>

#include "FrontEnd.h"
#include "appkit/Application.h"
#include "appkit/Responder.h"
#include "foundation/RunLoop.h"
#include "output/QVOutputType.h"
#include "shell/batch/BatchKeys.h"
#include "shell/controller/CorrectionControls.h"
#include "shell/batch/QVBatchController.h"
#include "shell/controller/QVController.h"

namespace frontend {
namespace {

// The words of the name tokens; a part written ":TEXT" is typed text.
const std::array<const char*, batch::kNameTokenCount> kTokenWords = {
    "name", "ext", "n", "nn", "nnn", "nnnn", "a", "A", "mmddyy", "mmdd", "yyyymmdd", "yymmdd", "none"};

const std::vector<std::pair<const char*, int>> kModes = {{"auto", 0}, {"current", 1}, {"preset", 2}};

// The fisheye options and the field each types into.
struct FisheyeField {
    const char* option;
    qv::ui::TextField* shell::FisheyeOutlets::*field;
};
const FisheyeField kFisheyeFields[] = {
    {"--fe-width", &shell::FisheyeOutlets::mFEOutputWidth},
    {"--fe-height", &shell::FisheyeOutlets::mFEOutputHeight},
    {"--fe-input-fov", &shell::FisheyeOutlets::mFEInputFOV},
    {"--fe-output-fov", &shell::FisheyeOutlets::mFEOutputFOV},
};

std::optional<batch::NameParts> parseName(const std::string& text, std::string* error) {
    batch::NameParts parts{batch::NamePart::token(batch::NameToken::Nothing), batch::NamePart::token(batch::NameToken::Nothing),
                           batch::NamePart::token(batch::NameToken::Nothing), batch::NamePart::token(batch::NameToken::Nothing)};
    std::size_t count = 0, start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('+', start), text.size());
        const std::string word = text.substr(start, end - start);
        if (count == 4) {
            *error = "--name takes at most four parts";
            return std::nullopt;
        }
        if (!word.empty() && word[0] == ':') {
            parts[count] = batch::NamePart::typed(word.substr(1));
        } else {
            const auto found = std::find(kTokenWords.begin(), kTokenWords.end(), word);
            if (found == kTokenWords.end()) {
                *error = "unknown name part '" + word + "' (" + batchHelp() + ")";
                return std::nullopt;
            }
            parts[count] = batch::NamePart::token(batch::NameToken(found - kTokenWords.begin()));
        }
        ++count;
        start = end + 1;
    }
    return parts;
}

void printProgress(double bar, const std::string& label, bool terminal) {
    const int width = 30, filled = int(bar / 100 * width + 0.5);
    if (terminal) {
        std::fprintf(stderr, "\r[%s%s] %3.0f%% %-40.40s", std::string(std::size_t(filled), '#').c_str(),
                     std::string(std::size_t(width - filled), ' ').c_str(), bar, label.c_str());
    } else {
        std::fprintf(stderr, "progress %3.0f%% %s\n", bar, label.c_str());
    }
    std::fflush(stderr);
}

const char* outcomeWord(QVBatchController::FileReport::Outcome outcome) {
    switch (outcome) {
        case QVBatchController::FileReport::Outcome::Written: return "written";
        case QVBatchController::FileReport::Outcome::Failed: return "failed";
        case QVBatchController::FileReport::Outcome::Skipped: break;
    }
    return "skipped";
}

}  // namespace

std::string batchHelp() {
    std::string words;
    for (const char* word : kTokenWords) words += std::string(words.empty() ? "" : ", ") + word;
    return "name parts joined with +: " + words + ", or :TEXT";
}

std::optional<BatchRequest> parseBatch(const std::vector<std::string>& arguments, std::string* error) {
    BatchRequest request;
    bool replace = false;
    auto fail = [&](const std::string& why) -> std::optional<BatchRequest> {
        *error = why;
        return std::nullopt;
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= arguments.size()) return std::nullopt;
            return arguments[++i];
        };
        if (argument.empty() || argument[0] != '-') {
            request.sources.push_back(FrontEnd::absolutePath(argument));
        } else if (argument == "--replace-sources") {
            replace = true;
        } else if (argument == "--subfolders") {
            request.subFolders = true;
        } else if (argument == "--dest") {
            auto v = value();
            if (!v || v->empty()) return fail("--dest takes a folder");
            request.destination = FrontEnd::absolutePath(*v);
        } else if (argument == "--mode") {
            auto v = value();
            auto found = std::find_if(kModes.begin(), kModes.end(), [&](const auto& m) { return v && *v == m.first; });
            if (found == kModes.end()) return fail("--mode takes auto, current or preset");
            request.mode = found->second;
        } else if (argument == "--preset") {
            auto v = value();
            if (!v) return fail("--preset takes a file");
            request.preset = FrontEnd::absolutePath(*v);
        } else if (argument == "--type") {
            auto v = value();
            auto type = v ? QVOutputType::typeNamed(*v) : std::nullopt;
            if (!type) return fail("--type takes jpeg, tiff, psd or exr");
            request.type = int(*type);
        } else if (argument == "--name") {
            auto v = value();
            if (!v) return fail("--name takes name parts (" + batchHelp() + ")");
            auto parts = parseName(*v, error);
            if (!parts) return std::nullopt;
            request.name = *parts;
        } else if (argument == "--correction") {
            auto v = value();
            if (!v || (*v != "lens" && *v != "fisheye")) return fail("--correction takes lens or fisheye");
            request.fisheye = *v == "fisheye";
        } else if (std::any_of(std::begin(kFisheyeFields), std::end(kFisheyeFields),
                               [&](const FisheyeField& f) { return argument == f.option; })) {
            auto v = value();
            if (!v) return fail(argument + " takes a number");
            request.fisheyeFields.emplace_back(argument, *v);
        } else if (argument == "--") {
            for (++i; i < arguments.size(); ++i) request.sources.push_back(FrontEnd::absolutePath(arguments[i]));
        } else {
            return fail("unknown batch option " + argument);
        }
    }
    if (request.sources.empty()) return fail("batch takes at least one source file or folder");
    if (replace == request.destination.has_value()) return fail("batch takes either --dest DIR or --replace-sources");
    if (request.mode == 2 && request.preset.empty()) return fail("--mode preset takes --preset FILE");
    if (!request.preset.empty() && request.mode != 2) request.mode = 2;
    return request;
}

int runBatch(const BatchRequest& request) {
    FrontEnd frontEnd;
    QVController& c = frontEnd.controller();
    QVBatchController* sheet = c.batchSheet().m_pBatchController;
    qv::ui::Application& application = qv::ui::Application::shared();
    qv::ui::Responder& responder = application.responder();
    if (!sheet || !application.performMenuAction("onBatchProcess:")) {
        std::fprintf(stderr, "quorvelci: the batch sheet cannot be shown\n");
        return 1;
    }
    QVBatchController& b = *sheet;
    auto fail = [](const std::string& why) {
        std::fprintf(stderr, "quorvelci: %s\n", why.c_str());
        return 1;
    };
    auto clickButton = [&](const std::string& title) {
        for (const auto& view : b.mWindow->contentView()->subviews())
            if (auto* button = dynamic_cast<qv::ui::Button*>(view.get()); button && button->title() == title)
                return button->performClick();
        return false;
    };

    // The fisheye choice and fields are the main window's.
    if (request.fisheye) {
        if (!shell::chooseTagged(c.fisheye().mFECorrectionTypeMatrix, int(CorrectionType::Fisheye)))
            return fail("the fisheye correction cannot be chosen");
        for (const auto& [option, text] : request.fisheyeFields)
            for (const FisheyeField& field : kFisheyeFields)
                if (option == field.option && c.fisheye().*field.field) (c.fisheye().*field.field)->userType(text);
    }
    // Sources through the add panel, then each folder's box when sub-folders are asked for.
    // One at a time, so that a source the panel does not take (not a photo type a batch knows) is
    // named and the others are still added.
    for (const std::string& source : request.sources) {
        const std::size_t before = b.sources().size();
        responder.queuePanel({true, {source}});
        if (!clickButton("Add…")) return fail("the sources cannot be added");
        if (b.sources().size() == before) std::printf("skipped %s: not a photo or folder a batch takes\n", source.c_str());
    }
    if (request.subFolders) {
        const qv::ui::TableColumn* column = b.mSourcesTable->tableColumnWithIdentifier(batch::keys::kSubFoldersColumn);
        for (int row = 0; row < b.mSourcesTable->numberOfRows(); ++row)
            if (b.sources().isFolderRow(row)) b.mSourcesTable->userClickCheckBox(column, row);
    }
    if (!b.mCorrectionRadioMatrix->userClickCell(request.mode)) return fail("the correction mode cannot be chosen");
    if (request.mode == 2) {
        const std::size_t asked = responder.panels().size();
        responder.queuePanel({true, {request.preset}});
        if (!clickButton("Preset…")) return fail("the preset cannot be chosen");
        // The chooser refuses a file that is missing or no preset by its name: the run would
        // have no preset to correct with.
        const auto panels = responder.panels();
        if (panels.size() == asked || !panels.back().answer.ok)
            return fail("cannot use the preset " + request.preset +
                        (panels.size() > asked && !panels.back().refusal.empty() ? ": " + panels.back().refusal : ""));
    }
    if (!b.mJpegOrTiffButton->userClickCell(request.type)) return fail("the output type cannot be chosen");
    qv::ui::ComboBox* combos[] = {b.mCombo1, b.mCombo2, b.mCombo3, b.mCombo4};
    for (std::size_t k = 0; k < 4; ++k) {
        const batch::NamePart& part = request.name[k];
        if (part.selectedIndex >= 0) combos[k]->userChooseItem(part.selectedIndex);
        else combos[k]->userType(part.typedText);
    }
    if (request.destination) {
        b.mSaveTypeMatrix->userClickCell(1);
        b.mPathTextField->userType(*request.destination);
    } else {
        b.mSaveTypeMatrix->userClickCell(0);
    }

    int failures = 0, written = 0;
    b.m_fileReported = [&](const QVBatchController::FileReport& report) {
        if (report.outcome == QVBatchController::FileReport::Outcome::Failed) ++failures;
        if (report.outcome == QVBatchController::FileReport::Outcome::Written) ++written;
        std::printf("%s %s%s%s\n", outcomeWord(report.outcome),
                    report.outcome == QVBatchController::FileReport::Outcome::Written ? report.output.c_str()
                                                                                     : report.source.c_str(),
                    report.message.empty() ? "" : ": ", report.message.c_str());
        std::fflush(stdout);
    };
    const std::size_t alertsBefore = responder.alerts().size();
    const bool started = clickButton("Start") && b.isRunning();
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    double shownBar = -1;
    std::string shownLabel;
    qv::RunLoop& loop = qv::RunLoop::main();
    while (started && b.isRunning()) {
        // No one sees a sheet here: the run ends as soon as its worker is done, without the
        // sheet's wait for its next tick and its hold of the full bar.
        loop.runUntil([&] { return b.hasWorkerFinished(); }, 0.1);
        b.completeFinishedRun();
        const double bar = b.mProgressIndicator->doubleValue();
        const std::string label = b.mFileNameLabel->stringValue();
        if (bar != shownBar || label != shownLabel) printProgress(bar, label, terminal);
        shownBar = bar;
        shownLabel = label;
    }
    if (started && terminal) std::fprintf(stderr, "\n");
    const auto alerts = responder.alerts();
    for (std::size_t i = alertsBefore; i < alerts.size(); ++i)
        std::fprintf(stderr, "quorvelci: alert: %s\n", FrontEnd::alertText(alerts[i].request).c_str());
    if (!started) return fail("the batch did not start");
    if (failures == 0 && written == 0) return fail("no photo of the run could be read");
    return failures > 0 ? 1 : 0;
}

}  // namespace frontend
