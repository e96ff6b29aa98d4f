// quorvelci: the application. "quorvelci correct PHOTO -o OUT [options]" drives the main window's
// controller as a person would: it opens the photo, lets the controller choose the camera and lens,
// optionally picks a lens by name, and saves the corrected photo through Save As, answering the
// panels and alerts itself. It prints what was chosen and fails when an error alert was shown.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "HeadlessView.h"
#include "appkit/Application.h"
#include "foundation/Bundle.h"
#include "foundation/Paths.h"
#include "foundation/RunLoop.h"
#include "shell/QVApplicationMain.h"
#include "shell/QVController.h"

namespace {

struct Options {
    std::string photo, output, lens;
    int type = -1;          // from the output's extension when not given
    double quality = -1;    // 0..1
    int compression = 0;    // 0 none, 1 LZW, 2 PackBits
};

int usage() {
    std::fprintf(stderr,
                 "usage: quorvelci correct PHOTO -o OUTPUT [--type jpeg|tiff|psd|exr] [--quality 0..1]\n"
                 "                          [--compression none|lzw|packbits] [--lens NAME]\n");
    return 2;
}

int typeOfName(const std::string& name) {
    if (name == "jpeg" || name == "jpg") return 0;
    if (name == "tiff" || name == "tif") return 1;
    if (name == "psd") return 2;
    if (name == "exr") return 3;
    return -1;
}

bool parse(int argc, char** argv, Options& o) {
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* value = nullptr;
        if (arg == "-o" && (value = next())) o.output = value;
        else if (arg == "--type" && (value = next())) o.type = typeOfName(value);
        else if (arg == "--quality" && (value = next())) o.quality = std::atof(value);
        else if (arg == "--lens" && (value = next())) o.lens = value;
        else if (arg == "--compression" && (value = next()))
            o.compression = std::strcmp(value, "lzw") == 0 ? 1 : std::strcmp(value, "packbits") == 0 ? 2 : 0;
        else if (!arg.empty() && arg[0] != '-' && o.photo.empty()) o.photo = arg;
        else return false;
    }
    // The output's extension names its type; --type may only confirm it, so a file never holds
    // bytes of another type than its name says.
    const int extensionType = typeOfName(qv::paths::pathExtension(o.output));
    if (o.type < 0) o.type = extensionType;
    return !o.photo.empty() && !o.output.empty() && o.type >= 0 && o.type == extensionType;
}

int correct(const Options& o) {
    auto& app = qv::ui::Application::shared();
    // The first start asks which lenses the user owns: not now.
    app.responder().queueAlert({1, {}, qv::localizedString("Please tell Quorvel which lenses you own.")});
    HeadlessView view;
    QVMainNib nib = QVLaunchApplication(&view);
    QVController& c = *nib.controller;
    c.openImage(o.photo);
    if (!c.m_bImageLoaded) {
        std::fprintf(stderr, "quorvelci: cannot open %s\n", o.photo.c_str());
        return 1;
    }
    if (!o.lens.empty()) {
        int row = -1;
        if (c.m_pLensArray)
            for (std::size_t i = 0; i < c.m_pLensArray->size(); ++i)
                if ((*c.m_pLensArray)[i].get("3.Lens Name").stringOr("") == o.lens) row = int(i);
        if (row < 0) {
            std::fprintf(stderr, "quorvelci: no lens named \"%s\" for this camera\n", o.lens.c_str());
            return 1;
        }
        c.updateUIWithLensInfo(row);
        view.applyCorrection();
    }
    const auto values = c.correctionValues();
    std::printf("camera: %s %s\nlens: %s\ncoefficients: %.6g %.6g %.6g %.6g\n",
                c.m_pManufacturerText ? c.m_pManufacturerText->stringValue().c_str() : "",
                c.m_pCameraModelText ? c.m_pCameraModelText->stringValue().c_str() : "",
                c.m_pLensText ? c.m_pLensText->stringValue().c_str() : "", values[0], values[1], values[2], values[3]);

    const std::string output = o.output.find('/') == std::string::npos ? "./" + o.output : o.output;
    app.responder().queuePanel({true, {output}});
    c.onSaveAs(nullptr);
    if (c.m_pFileFormatPopup) c.m_pFileFormatPopup->selectItemAtIndex(o.type);
    c.onChangeFileType(c.m_pSavePanel.get());
    if (c.m_pSavePanel) c.m_pSavePanel->setRequiredFileType(qv::paths::pathExtension(output));
    if (c.mCompressionType) c.mCompressionType->selectItemAtIndex(o.compression);
    if (o.quality >= 0) c.mCompressionAmount = float(o.quality);
    qv::RunLoop::main().runUntil([&] { return !c.m_pSavePanel; }, 60);
    qv::RunLoop::main().runUntil([&] { return !c.isSaveInProgress(); }, 600);
    qv::RunLoop::main().runUntil([] { return false; }, 0.05);
    for (const auto& record : app.responder().panels()) {
        if (!record.refusal.empty() || !record.answer.ok) {
            std::fprintf(stderr, "quorvelci: cannot save as %s: %s\n", output.c_str(), record.refusal.c_str());
            return 1;
        }
    }
    for (const auto& record : app.responder().alerts()) {
        if (record.request.message == qv::localizedString("SaveErrorMessage") ||
            record.request.message == qv::localizedString("OpenErrorMessage")) {
            std::fprintf(stderr, "quorvelci: %s: %s\n", record.request.title.c_str(), record.request.message.c_str());
            return 1;
        }
    }
    std::printf("written: %s\n", output.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "correct") == 0) {
        Options options;
        if (!parse(argc, argv, options)) return usage();
        return correct(options);
    }
    return QVApplicationMain(argc, argv);
}
