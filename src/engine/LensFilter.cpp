#include "engine/LensFilter.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "coreimage/CIImageUnit.h"
#include "coreimage/Node.h"

using qv::ci::Image;
using qv::ci::InputType;
namespace detail = qv::ci::detail;

namespace {

// How dark the glass gets right at its rim, and where the highlight sits on it (in radii from
// the centre, towards the top left, where the ring is lit from).
constexpr float kRimShade = 0.35f;
constexpr float kShineOffset = 0.3f;
constexpr float kShineRadius = 0.45f;
constexpr float kShineStrength = 0.6f;
constexpr float kPi = 3.14159265358979f;

struct LensGeometry {
    double cx = 0, cy = 0;
    double radius = 0;  // of the glass
    double ring = 0;    // width of the ring around it
    double magnification = 1;
    double roundness = 0;
    double shine = 0;

    double outer() const { return radius + ring; }
    // The square the glass and its ring cover, with a pixel to spare for the soft edges.
    qv::Rect square() const {
        const double r = outer() + 1;
        return qv::Rect(cx - r, cy - r, 2 * r, 2 * r);
    }
    // The part of the input the glass shows.
    qv::Rect seenThroughGlass() const {
        const double r = radius / magnification + 1;
        return qv::Rect(cx - r, cy - r, 2 * r, 2 * r);
    }
};

// Blends an opaque grey of the given level over a premultiplied colour with coverage a.
void blendGrey(float* px, float level, float a) {
    for (int k = 0; k < 3; ++k) px[k] = a * level + (1 - a) * px[k];
    px[3] = a + (1 - a) * px[3];
}

class LensEvaluator final : public detail::Evaluator {
public:
    LensEvaluator(const detail::Evaluator* input, const LensGeometry& g) : m_input(input), m_g(g) {
        m_inverseMagnification = float(1 / g.magnification);
        m_cx = float(g.cx), m_cy = float(g.cy), m_radius = float(g.radius), m_outer = float(g.outer());
    }

    void sample(const float* xs, const float* ys, int n, float* out, detail::Arena& arena) const override {
        detail::ArenaScope scope(arena);
        float* mx = arena.alloc(std::size_t(n));
        float* my = arena.alloc(std::size_t(n));
        const float glass2 = m_radius * m_radius;
        bool touchesLens = false;
        for (int i = 0; i < n; ++i) {
            const float dx = xs[i] - m_cx, dy = ys[i] - m_cy;
            const float r2 = dx * dx + dy * dy;
            if (r2 < glass2) {
                mx[i] = m_cx + dx * m_inverseMagnification;
                my[i] = m_cy + dy * m_inverseMagnification;
            } else {
                mx[i] = xs[i];
                my[i] = ys[i];
            }
            touchesLens |= r2 < (m_outer + 1) * (m_outer + 1);
        }
        m_input->sample(mx, my, n, out, arena);
        if (!touchesLens) return;
        for (int i = 0; i < n; ++i) dress(xs[i], ys[i], out + 4 * std::size_t(i));
    }

    // Rows (and the parts of rows) that miss the lens go to the input as rows, which a raster
    // copies without interpolating.
    void sampleRow(double x0, double y, int n, float* out, detail::Arena& arena) const override {
        const double reach = m_g.outer() + 1;
        if (std::fabs(y + 0.5 - m_g.cy) >= reach) {
            m_input->sampleRow(x0, y, n, out, arena);
            return;
        }
        const int first = std::clamp(int(std::floor(m_g.cx - reach - x0)), 0, n);
        const int last = std::clamp(int(std::ceil(m_g.cx + reach - x0)), first, n);
        if (first > 0) m_input->sampleRow(x0, y, first, out, arena);
        if (last > first) Evaluator::sampleRow(x0 + first, y, last - first, out + 4 * std::size_t(first), arena);
        if (n > last) m_input->sampleRow(x0 + last, y, n - last, out + 4 * std::size_t(last), arena);
    }

private:
    // The glass's shading and highlight, and the ring, over the sampled colour at (x, y).
    void dress(float x, float y, float* px) const {
        const float dx = x - m_cx, dy = y - m_cy;
        const float r = std::sqrt(dx * dx + dy * dy);
        if (r >= m_outer + 0.5f) return;
        if (r < m_radius + 0.5f && m_radius > 0) {
            const float t = r / m_radius;
            if (m_g.roundness > 0) {
                const float shade = 1 - kRimShade * std::pow(std::min(t, 1.f), float(2 * m_g.roundness));
                for (int k = 0; k < 3; ++k) px[k] *= shade;
            }
            if (m_g.shine > 0) {
                const float sx = dx + kShineOffset * m_radius, sy = dy - kShineOffset * m_radius;
                const float falloff = std::max(0.f, 1 - std::sqrt(sx * sx + sy * sy) / (kShineRadius * m_radius));
                const float h = float(m_g.shine) * kShineStrength * falloff * falloff;
                if (h > 0) blendGrey(px, 1, h);
            }
        }
        if (m_outer <= m_radius) return;
        // The ring: a bezel lit from the top left, brightest along its middle; its edges are
        // covered in proportion to the pixel's overlap so the lens stays round at any size.
        const float coverage = std::clamp(r - m_radius + 0.5f, 0.f, 1.f) * std::clamp(m_outer - r + 0.5f, 0.f, 1.f);
        if (coverage <= 0) return;
        const float lit = r > 0 ? (-dx + dy) / (r * std::sqrt(2.f)) : 0;
        const float across = std::clamp((r - m_radius) / (m_outer - m_radius), 0.f, 1.f);
        const float level = (0.45f + 0.25f * lit) * (0.75f + 0.25f * std::sin(kPi * across));
        blendGrey(px, level, coverage);
    }

    const detail::Evaluator* m_input;
    LensGeometry m_g;
    float m_inverseMagnification, m_cx, m_cy, m_radius, m_outer;
};

class LensNode final : public detail::Node {
public:
    LensNode(std::shared_ptr<const detail::Node> input, const LensGeometry& g)
        : Node(input->extent().unionWith(g.square())), m_g(g) {
        m_inputs.push_back(std::move(input));
    }

    qv::Rect regionOfInterest(std::size_t, const qv::Rect& roi, const detail::Prepared*) const override {
        if (!roi.intersects(m_g.square())) return roi;
        return detail::grownIntegral(roi.unionWith(m_g.seenThroughGlass()), 1);
    }

    std::unique_ptr<detail::Evaluator> makeEvaluator(const qv::Rect&, std::unique_ptr<detail::Prepared>,
                                                     const std::vector<const detail::Evaluator*>& inputs,
                                                     const detail::RenderStatisticsSink&) const override {
        return std::make_unique<LensEvaluator>(inputs[0], m_g);
    }

private:
    LensGeometry m_g;
};

std::vector<qv::ci::InputSpec> lensInputs() {
    return {
        {qv::ci::kInputImage, InputType::Image, {}, "Image"},
        {qv::ci::kInputCenter, InputType::Vector2, qv::Vec2{150, 150}, "Center"},
        {LensFilter::kInputMagnification, InputType::Number, 2.0, "Magnification"},
        {LensFilter::kInputWidth, InputType::Number, LensFilter::kDefaultWidth, "Width"},
        {LensFilter::kInputRingWidth, InputType::Number, LensFilter::kDefaultRingWidth, "Ring Width"},
        {LensFilter::kInputRoundness, InputType::Number, 3.0, "Roundness"},
        {LensFilter::kInputShineOpacity, InputType::Number, 0.7, "Shine Opacity"},
    };
}

double finiteOr(double value, double fallback) {
    return std::isfinite(value) ? value : fallback;
}

}  // namespace

void LensFilter::installImageUnit() {
    static std::once_flag once;
    std::call_once(once, [] {
        qv::ci::installImageUnit(qv::ci::ImageUnit{
            kName,
            {qv::ci::FilterRegistration{
                kName, [](const std::string&) -> std::shared_ptr<qv::ci::Filter> { return std::make_shared<LensFilter>(); },
                qv::Value(qv::Dictionary{{"CIAttributeFilterDisplayName", "Lens"}})}}});
    });
}

LensFilter::LensFilter() : Filter(kName, lensInputs()) {
    setDefaults();
}

Image LensFilter::outputImage() {
    const Image input = imageInput(qv::ci::kInputImage);
    if (input.isNull()) return Image();
    LensGeometry g;
    const qv::Vec2 centre = vec2Input(qv::ci::kInputCenter);
    g.cx = finiteOr(centre.x, 0);
    g.cy = finiteOr(centre.y, 0);
    g.radius = std::max(0.0, finiteOr(numberInput(kInputWidth), 0) / 2);
    g.ring = std::max(0.0, finiteOr(numberInput(kInputRingWidth), 0));
    const double magnification = numberInput(kInputMagnification);
    g.magnification = std::isfinite(magnification) && magnification > 0 ? magnification : 1;
    g.roundness = std::max(0.0, finiteOr(numberInput(kInputRoundness), 0));
    g.shine = std::clamp(finiteOr(numberInput(kInputShineOpacity), 0), 0.0, 1.0);
    if (g.outer() <= 0) return input;
    return Image(std::make_shared<LensNode>(input.node(), g));
}
