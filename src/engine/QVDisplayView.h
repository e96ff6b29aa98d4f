#pragma once
// The main window's photo view. It loads a photo with its properties and colour space and turns
// it upright, keeps a preview proxy that fits 900 x 900, runs the preview correction chain on it
// whenever a control changes, fits what it shows into its bounds and draws the background, the
// crop frames, the picture and the grid. While the magnifier is on, the chain runs on the full
// photo and a round lens shows it at 100 to 800 per cent of its pixels. A file dropped on the view
// goes to the controller's open step.
//
// The correction state (the photo, the proxy, the kept images, the flags) and the full-resolution
// chain that saving uses come from QVViewChain. Everything here belongs to the main thread, except
// the full-resolution chain and the flags (see QVViewChain).
#include <array>
#include <memory>
#include <optional>
#include <string>

#include "appkit/Canvas.h"
#include "appkit/Color.h"
#include "appkit/View.h"
#include "coreimage/CIContext.h"
#include "coreimage/CIFilter.h"
#include "coreimage/CIImage.h"
#include "engine/QVDisplayController.h"
#include "engine/QVViewChain.h"
#include "foundation/Geometry.h"
#include "foundation/Value.h"
#include "imageio/ColorSpace.h"

namespace qv::io {
class ImageSource;
}

class QVDisplayView : public qv::ui::View, public QVViewChain {
public:
    // The longer side of the preview proxy.
    static constexpr double kFixedSize = 900;
    // The grid spacing used when the control gives 0.
    static constexpr int kDefaultGridSpacing = 45;

    // The plug-in's view takes no drops and reads a photo into memory before decoding it.
    enum class Deliverable { Application, PlugIn };

    // initWithFrame: registers for dropped file names (in the application) and keeps the canvas
    // current at creation. Installs the magnifier's image unit so that start-up can load it.
    explicit QVDisplayView(const qv::Rect& frame, Deliverable deliverable = Deliverable::Application);
    ~QVDisplayView() override;

    // Stores the controller (not owned) and takes the preview flag from its preview check box.
    void setController(QVDisplayController* controller);
    QVDisplayController* displayController() const { return m_pDisplayController; }

    // --- Loading (all or nothing: a photo that cannot be read leaves everything as it was) ---
    // Loads image 0 of a file with its properties and colour space, turns it upright, makes the
    // proxy and shows the photo. False when the file is missing or cannot be read.
    bool setCIImageFromFile(const std::string& path);
    // Shows an image given directly, with no metadata or colour space of its own.
    void setCIImage(const qv::ci::Image& image);
    // Image 0 of a file turned upright by its orientation; the null image when it cannot be read.
    // A photo whose reading ahead was started is taken from there while it is unchanged.
    static qv::ci::Image CreateCIImageWithoutOrientation(const std::string& path);
    // Starts reading the photo at path for the next CreateCIImageWithoutOrientation of it (the
    // save), on a thread of its own; dropReadAhead forgets it.
    // The file's bytes as already read may be given (a source on them), so they are not read again.
    static void readAhead(const std::string& path, std::shared_ptr<const qv::io::ImageSource> source = nullptr);
    // The photo read ahead, once read, left for the save; the null image when there is none.
    static qv::ci::Image readAheadImage(const std::string& path);
    static void dropReadAhead();
    // The proxy: the image scaled with Lanczos so that it fits 900 x 900 (small images grow),
    // made into pixels once so that every preview run reads 900 pixels, not the photo.
    static qv::ci::Image scaleToFixedSize(const qv::ci::Image& image);

    const qv::ci::Image& ciImage() const { return m_pImage; }
    qv::Rect originalImageRect() const { return m_pImage.extent(); }
    // The photo's properties as the reader gave them; the encoder changes them in place.
    qv::Dictionary& imageMetadata() { return m_Metadata; }
    void setImageMetadata(const qv::Dictionary& metadata) { m_Metadata = metadata; }
    // The colour space of the photo; absent before the first load and after setCIImage.
    const std::optional<qv::io::ColorSpace>& colorSpace() const { return m_Colorspace; }
    int inputImageDepth() const { return m_iImageDepth == 0 ? 8 : m_iImageDepth; }

    // --- Showing ---
    // Fits an image into the bounds with the scale that fits m_pCorrectedImage.
    qv::ci::Image scaleImageToDraw(const qv::ci::Image& image);
    void setImageToDraw(const qv::ci::Image& image);
    // What to draw: the lens while the magnifier is on, else the proxy while the preview is off,
    // else the image.
    void setImage(const qv::ci::Image& image);
    void calculateDrawingRect();
    void drawCorrectedImage() { setImageToDraw(m_pCorrectedImage); }
    // Replaces the drawn image, unfitted, and redisplays the whole view.
    void refresh(const qv::Rect& rect, const qv::ci::Image& image);
    static bool isInvalidRect(const qv::Rect& rect) { return rect.minX() < -2 || rect.minY() < -2; }

    void drawRect(const qv::Rect& dirtyRect) override;
    // Grid lines spaced trunc(size × spacing / 360) apart: about 360 / spacing cells across.
    void drawGridWithSpacing(int spacing, const qv::ui::Color& color, const qv::Rect& rect);

    // The Core Image context the view draws with, and the canvas current when it was created.
    qv::ci::Context& context() { return m_Context; }
    qv::ui::Canvas* currentContext() const { return mGraphicsContext; }

    const qv::ci::Image& imageToDraw() const { return m_pImageToDraw; }
    qv::Rect drawingRect() const { return m_DrawingRct; }
    qv::Rect fixedSizeRect() const { return m_FixedSizeRect; }
    qv::Point fittingDelta() const { return m_Delta; }
    double fittingScale() const { return m_Scale; }
    // Where crop inside keeps the picture free of empty corners, in view coordinates: the
    // largest rectangle of the picture's proportions, centred on it, inside the corrected
    // outline of the last preview perspective step. Null when there is nothing to frame.
    qv::Rect cropInsideFrame() const;

    // --- Drivers of the preview chain ---
    void applyCorrection();  // the whole chain, distortion included
    void chromaticAberration();
    void applyVignet();
    void setScaleValue(double ignored = 0);
    void perspective();
    void resetImageToDraw();  // as the four above, without setting the apply flag
    void setPreviewImage(bool on);
    void revertImage();
    void showMagnifier(bool on);

    // --- Magnifier ---
    void setMagnification(int percent);
    double magnificationValue() const { return m_dMagnificationValue; }
    // Sets up the lens for the current state: the fitted preview (or photo) magnified about the
    // lens centre.
    void lensFilter();
    const std::shared_ptr<qv::ci::Filter>& magnifier() const { return m_pMagnifier; }
    std::optional<qv::Vec2> lensCentre() const { return m_pMouseLocation; }
    // Drags the lens while the magnifier is on, taking mouse events until the button is released.
    void mouseDown(const qv::ui::Event& event) override;

    // --- File drop ---
    void setAllowDragAndDrop(bool allow) { mAllowsDragAndDrop = allow; }
    bool allowDragAndDrop() const { return mAllowsDragAndDrop; }
    qv::ui::DragOperation draggingEntered(const qv::ui::DraggingInfo& info) override;
    qv::ui::DragOperation draggingUpdated(const qv::ui::DraggingInfo& info) override;
    void draggingEnded(const qv::ui::DraggingInfo& info) override;
    bool prepareForDragOperation(const qv::ui::DraggingInfo& info) override;
    bool performDragOperation(const qv::ui::DraggingInfo& info) override;
    void concludeDragOperation(const qv::ui::DraggingInfo& info) override;

private:
    struct LoadedPhoto;
    static std::optional<LoadedPhoto> readPhoto(const std::string& path, Deliverable deliverable,
                                                std::shared_ptr<const qv::io::ImageSource> source = nullptr);
    void showLoadedImage(const qv::ci::Image& image);
    // The image as pixels at its own resolution, placed where it was; null when it cannot render.
    static qv::ci::Image madeIntoPixels(qv::ci::Context& context, const qv::ci::Image& image);
    // No bigger than the preview proxy: cheap enough to keep as pixels.
    static bool isPreviewSized(const qv::ci::Image& image);
    // The distortion step of the preview on source, kept as pixels when it is preview-sized.
    qv::ci::Image keptCorrected(const qv::ci::Image& source);
    // Scale, chromatic aberration and vignetting on m_pCorrectedImage, kept (and, once used
    // again, kept as pixels) while neither it nor their parameters change.
    qv::ci::Image beforePerspective();
    // The preview from m_pCorrectedImage on into m_pPerspectiveImage.
    void rerunFromKept();
    // The same, shown unless a batch runs.
    void rerunAndShow();
    // The transform that fits an image of the given extent with the scale of m_pCorrectedImage.
    qv::AffineTransform fittingTransformFor(const qv::Rect& extent) const;
    qv::ci::Image lensOutput() const;
    // The image fitted into the view; the transform used is stored in *fit.
    qv::ci::Image fitted(const qv::ci::Image& image, qv::AffineTransform* fit);
    // What drawPicture renders for the view's pixels: the drawn image itself, or, when the view
    // enlarges it, its source rendered once at its own resolution and enlarged from those pixels.
    // `points` is the part of the view drawn; `backingScale` the canvas pixels per point.
    qv::ci::Image imageToRender(const qv::Rect& points, double backingScale);
    void drawPicture(qv::ui::Canvas& canvas);
    void drawCropInsideFrame(qv::ui::Canvas& canvas);
    // What a drag offers that this view takes: none, generic or copy, or everything for its own.
    qv::ui::DragOperation dragOperationFor(const qv::ui::DraggingInfo& info, qv::ui::DragOperation answer) const;

    // The picture drawn last, kept between draws: a redraw of an unchanged picture (a grid
    // switched on, a window shown again) renders nothing, and a lens dragged over it renders only
    // the squares it left and entered.
    struct PictureCache {
        qv::ci::Image source;      // the unfitted image rendered at its own resolution
        qv::Rect region;           // the part of it rendered
        qv::ci::Image raster;      // those pixels
        qv::Bitmap picture;        // the view's pixels of `shows` over pictureRect, at pictureScale per point
        qv::Rect pictureRect;
        double pictureScale = 1;
        qv::ci::Image shows;       // what picture holds
        qv::ci::Image successor;   // an image that differs from `shows` only inside `changed`
        qv::Rect changed;
    };

    struct PreparedPreview {
        qv::ci::Image corrected;             // the m_pCorrectedImage it was made from
        std::array<double, 7> parameters{};  // scale, red, green, blue, vignetting on, amount, midpoint
        qv::ci::Image image;                 // the result before the perspective step
        bool isPixels = false;               // image holds pixels rather than the steps
    };

    const Deliverable m_Deliverable;
    QVDisplayController* m_pDisplayController = nullptr;

    qv::ci::Image m_pImageToDraw;
    qv::ci::Image m_pFittedSource;  // what m_pImageToDraw fits into the view, or null for the lens
    qv::AffineTransform m_DrawnFit;  // the fitting transform of m_pImageToDraw
    PictureCache m_Cache;
    PreparedPreview m_Prepared;
    std::optional<qv::io::ColorSpace> m_Colorspace;
    qv::Dictionary m_Metadata;
    int m_iImageDepth = 0;
    qv::Rect m_DrawingRct;
    qv::Rect m_FixedSizeRect;
    qv::Point m_Delta;
    float m_Scale = 1;
    float m_RotationAngle = 0;
    bool m_bSetDrawingRect = false;
    qv::ui::Canvas* mGraphicsContext = nullptr;
    bool mAllowsDragAndDrop = false;
    qv::ci::Context m_Context;

    std::shared_ptr<qv::ci::Filter> m_pMagnifier;
    std::optional<qv::Vec2> m_pMouseLocation;
    double m_dMagnificationValue = 1;
};
