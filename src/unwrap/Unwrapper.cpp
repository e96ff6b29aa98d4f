#include "unwrap/Unwrapper.h"

#include "unwrap/Sample.h"
#include "unwrap/ThreadPool.h"
#include "unwrap/Unwrap.h"
#include "unwrap/Warp.h"

#include <boost/gil/image_view_factory.hpp>
#include <boost/variant2/variant.hpp>

#include <algorithm>
#include <stdexcept>
#include <type_traits>
#include <typeinfo>
#include <utility>

namespace unwrap {

namespace {

// Sub-pixel phases of the sampler tables: positions are resolved to a hundredth of a pixel.
constexpr unsigned long kSamplerResolution = 100;
constexpr unsigned long kMaxWorkers = 256;

template <typename View>
auto rasterOf(const View& view) {
    using Channel = std::remove_reference_t<decltype(*gil::interleaved_view_get_raw_data(view))>;
    return Raster<Channel>(gil::interleaved_view_get_raw_data(view),
                           std::ptrdiff_t(view.pixels().row_size() / std::ptrdiff_t(sizeof(Channel))),
                           int(view.width()), int(view.height()));
}

template <typename View>
Point2 centreOf(const View& view) {
    return Point2(0.5f * float(view.width()), 0.5f * float(view.height()));
}

// Every output row of the band: the warp's source positions for the row, then one sample per pixel;
// a pixel whose sample misses the source is black. The source and the sampler's state are copied into
// this frame so that the pixel stores cannot be taken to change them.
template <typename Channel, typename SampleFn>
void unwrap_pixels(Raster<const Channel> src, const Raster<Channel>& dst, const WarpFunction& warp,
                   int rowStart, int rowEnd, const SampleFn sample) {
    std::vector<Point2> points(std::size_t(dst.width));
    const int width = dst.width;
    for (int row = rowStart; row < rowEnd; ++row) {
        warp.fillCoordinateVector(points, row);
        Channel* out = dst.pixel(0, row);
        const Point2* position = points.data();
        for (int x = 0; x < width; ++x, out += 3)
            if (!sample(src, position[x], out)) out[0] = out[1] = out[2] = 0;
    }
}

template <int NX, int NY, typename Channel>
void unwrapSeparable(const Raster<const Channel>& src, const Raster<Channel>& dst, const WarpFunction& warp,
                     int rowStart, int rowEnd, const SamplerLUT& lut) {
    const SamplerTables tables = lut.tables<Channel>();
    unwrap_pixels(src, dst, warp, rowStart, rowEnd, [tables](const Raster<const Channel>& s, const Point2& p, Channel* o) {
        return sampleSeparable<NX, NY>(tables, s, p, o);
    });
}

template <typename Channel>
void unwrapBand(const Raster<const Channel>& src, const Raster<Channel>& dst, const WarpFunction& warp,
                int rowStart, int rowEnd, int samplerType, const SamplerLUT* lut) {
    if (samplerType == bilinear) {
        unwrap_pixels(src, dst, warp, rowStart, rowEnd, [](const Raster<const Channel>& s, const Point2& p, Channel* o) {
            return sampleBilinear(s, p, o);
        });
        return;
    }
    if (!lut || lut->empty()) {
        unwrap_pixels(src, dst, warp, rowStart, rowEnd, [](const Raster<const Channel>&, const Point2&, Channel*) {
            return false;
        });
        return;
    }
    // The tap counts of the usual kernels at scale 1, fixed at compile time so that the footprint
    // loops unroll; any other footprint takes the general loop.
    const int tx = lut->taps(false), ty = lut->taps(true);
    if (tx == 4 && ty == 4)
        unwrapSeparable<4, 4>(src, dst, warp, rowStart, rowEnd, *lut);
    else if (tx == 6 && ty == 6)
        unwrapSeparable<6, 6>(src, dst, warp, rowStart, rowEnd, *lut);
    else if (tx == 8 && ty == 8)
        unwrapSeparable<8, 8>(src, dst, warp, rowStart, rowEnd, *lut);
    else
        unwrapSeparable<0, 0>(src, dst, warp, rowStart, rowEnd, *lut);
}

}  // namespace

std::vector<RowBand> bandRows(int height, unsigned long threads) {
    std::vector<RowBand> bands;
    if (height <= 0) return bands;
    const int workers = int(std::min(threads, kMaxWorkers));
    if (workers <= 1) {
        bands.push_back({0, height});
        return bands;
    }
    // Each band takes half of an even share of the rows still left, in whole grid cells, down to one
    // cell: the workers start on long bands and finish on short ones, so that they run out of work
    // at nearly the same moment.
    const int step = int(kWarpGridStep);
    for (int first = 0; first < height;) {
        const int share = (height - first) / (2 * workers) / step * step;
        const int end = std::min(height, first + std::max(step, share));
        bands.push_back({first, end});
        first = end;
    }
    return bands;
}

std::size_t workerCount(unsigned long threads, std::size_t bands) {
    return std::size_t(std::min<unsigned long long>({threads, kMaxWorkers, bands}));
}

unwrapper::unwrapper(const ConstImageView& src, const ImageView& dst, float inputFOV, float outputFOV,
                     int rowStart, int rowEnd, int samplerType, std::shared_ptr<const SamplerLUT> lut)
    : m_src(src),
      m_dst(dst),
      m_inputFOV(inputFOV),
      m_outputFOV(outputFOV),
      m_rowStart(rowStart),
      m_rowEnd(rowEnd),
      m_samplerType(samplerType),
      m_lut(std::move(lut)) {}

void unwrapper::operator()() const {
    boost::variant2::visit(
        [this](const auto& srcView, const auto& dstView) {
            using SrcChannel = std::remove_const_t<typename gil::channel_type<std::decay_t<decltype(srcView)>>::type>;
            using DstChannel = typename gil::channel_type<std::decay_t<decltype(dstView)>>::type;
            if constexpr (!std::is_same_v<SrcChannel, DstChannel>) {
                throw std::bad_cast();
            } else {
                const std::unique_ptr<WarpFunction> warp = createPerspectiveToFishEyeWarpFn(
                    int(srcView.width()), int(srcView.height()), centreOf(srcView), m_inputFOV,
                    int(dstView.width()), m_rowStart, m_rowEnd, centreOf(dstView), m_outputFOV);
                unwrapBand(rasterOf(srcView), rasterOf(dstView), *warp, m_rowStart, m_rowEnd, m_samplerType,
                           m_lut.get());
            }
        },
        m_src, m_dst);
}

void unwrap(const ConstImageView& src, const ImageView& dst, float inputFOV, float outputFOV, int samplerType,
            unsigned long threads) {
    const int height = int(dst.height());
    if (dst.width() == 0 || height == 0) return;
    if (src.width() == 0 || src.height() == 0) throw std::invalid_argument("the source image is empty");

    std::shared_ptr<const SamplerLUT> lut;
    if (samplerType != bilinear) {
        // The filter widens by the mapping's stretch at the output centre, the same for every band.
        const Point2 srcCentre(0.5f * float(src.width()), 0.5f * float(src.height()));
        const Point2 dstCentre(0.5f * float(dst.width()), 0.5f * float(height));
        Point2 d1, d2;
        centralDerivatives(makePerspectiveToFishEyeFn(int(src.width()), srcCentre, inputFOV, int(dst.width()),
                                                      dstCentre, outputFOV),
                           dstCentre, d1, d2);
        const float xScale = std::max(1.0f, std::hypot(d1.x, d1.y));
        const float yScale = std::max(1.0f, std::hypot(d2.x, d2.y));
        lut = std::make_shared<const SamplerLUT>(samplerType, kSamplerResolution, xScale, yScale);
    }

    const std::vector<RowBand> bands = bandRows(height, threads);
    if (threads == 0) {
        for (const RowBand& band : bands)
            unwrapper(src, dst, inputFOV, outputFOV, band.first, band.end, samplerType, lut)();
        return;
    }
    // The bands are queued before the workers start, so that each worker takes one as soon as it runs.
    threadpool::thread_pool pool(0);
    for (const RowBand& band : bands)
        pool.schedule(unwrapper(src, dst, inputFOV, outputFOV, band.first, band.end, samplerType, lut));
    pool.resize(workerCount(threads, bands.size()));
    pool.wait(0);
    if (std::exception_ptr error = pool.take_error()) std::rethrow_exception(error);
}

}  // namespace unwrap
