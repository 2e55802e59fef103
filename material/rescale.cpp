#include "material/rescale.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "platform/exception.h"

namespace sauno {

namespace {

// The source pixels that make up each target pixel along one direction, with their weights:
// `perTarget` entries per target pixel (padded with weight 0), and the sum of the weights.
//
// The arithmetic is kept in the same float steps as the reference filter on purpose, so that
// the same source pixels are found with the same weights, edges and slivers included.
struct Taps {
    int perTarget = 0;
    std::vector<int> index;
    std::vector<float> weight;
    std::vector<float> sum;
};

Taps MakeTaps(int in, int out)
{
    const float conv = static_cast<float>(in) / static_cast<float>(out);
    const float halfConv = conv / 2;
    std::vector<std::vector<std::pair<int, float>>> lists(static_cast<size_t>(out));
    Taps taps;
    taps.sum.assign(static_cast<size_t>(out), 0.0f);
    for (int i = 0; i < out; ++i) {
        const float centre = static_cast<float>(conv * (i + 0.5));
        float low, high;
        if (in > out) {
            high = centre + halfConv;
            low = centre - halfConv;
        } else {
            high = static_cast<float>(centre + 0.5);
            low = static_cast<float>(centre - 0.5);
        }
        float at = low;
        int whole = static_cast<int>(std::floor(at));
        auto& list = lists[size_t(i)];
        while (at < high) {
            // Past either edge the box wraps round to the other side.
            const int index = ((whole % in) + in) % in;
            const float share = high < static_cast<float>(whole + 1) ? high - at : static_cast<float>(whole + 1) - at;
            list.emplace_back(index, share);
            taps.sum[size_t(i)] += share;
            ++whole;
            at = static_cast<float>(whole);
        }
        taps.perTarget = std::max(taps.perTarget, static_cast<int>(list.size()));
    }
    taps.index.assign(size_t(out) * size_t(taps.perTarget), 0);
    taps.weight.assign(size_t(out) * size_t(taps.perTarget), 0.0f);
    for (size_t i = 0; i < lists.size(); ++i)
        for (size_t t = 0; t < lists[i].size(); ++t) {
            taps.index[i * size_t(taps.perTarget) + t] = lists[i][t].first;
            taps.weight[i * size_t(taps.perTarget) + t] = lists[i][t].second;
        }
    return taps;
}

// Bytes are widened to 16 bits (v * 257) before filtering and narrowed (>> 8) after; the
// widening is folded into the weights across.
constexpr float kWiden = 257.0f;

struct Job {
    std::span<const uint8_t> source;
    int width, height;
    std::span<uint8_t> target;
    int targetWidth, targetHeight;
    const Taps* across;
    const Taps* down;
};

// One source row filtered across, kept while the target rows that need it are made.
struct CachedRow {
    int row = -1;
    uint64_t lastUse = 0;
    std::vector<float> values;
};

template <int C>
void FilterAcross(const Job& job, int row, float* out)
{
    const uint8_t* line = job.source.data() + size_t(row) * size_t(job.width) * C;
    const int n = job.across->perTarget;
    const int* index = job.across->index.data();
    const float* weight = job.across->weight.data();
    for (int x = 0; x < job.targetWidth; ++x, index += n, weight += n, out += C) {
        float acc[C] = {};
        for (int t = 0; t < n; ++t) {
            const uint8_t* p = line + size_t(index[t]) * C;
            const float w = weight[t] * kWiden;
            for (int k = 0; k < C; ++k) acc[k] += static_cast<float>(p[k]) * w;
        }
        for (int k = 0; k < C; ++k) out[k] = acc[k];
    }
}

template <int C>
void RescaleRows(const Job& job, int firstRow, int endRow)
{
    const Taps& down = *job.down;
    const size_t rowValues = size_t(job.targetWidth) * C;
    std::vector<CachedRow> cache(size_t(down.perTarget) + 1);
    for (CachedRow& slot : cache) slot.values.resize(rowValues);
    std::vector<float> sum(rowValues);
    // The weight total of each value's column, for the division at the end.
    std::vector<float> acrossSum(rowValues);
    for (size_t i = 0; i < rowValues; ++i) acrossSum[i] = job.across->sum[i / C];
    uint64_t clock = 0;
    auto filtered = [&](int row) -> const float* {
        CachedRow* oldest = &cache[0];
        for (CachedRow& slot : cache) {
            if (slot.row == row) {
                slot.lastUse = ++clock;
                return slot.values.data();
            }
            if (slot.lastUse < oldest->lastUse) oldest = &slot;
        }
        FilterAcross<C>(job, row, oldest->values.data());
        oldest->row = row;
        oldest->lastUse = ++clock;
        return oldest->values.data();
    };
    for (int y = firstRow; y < endRow; ++y) {
        std::fill(sum.begin(), sum.end(), 0.0f);
        for (int t = 0; t < down.perTarget; ++t) {
            const float w = down.weight[size_t(y) * size_t(down.perTarget) + size_t(t)];
            if (w == 0.0f) continue;
            const float* values = filtered(down.index[size_t(y) * size_t(down.perTarget) + size_t(t)]);
            for (size_t i = 0; i < rowValues; ++i) sum[i] += values[i] * w;
        }
        uint8_t* out = job.target.data() + size_t(y) * rowValues;
        const float downSum = down.sum[size_t(y)];
        for (size_t i = 0; i < rowValues; ++i) {
            const float value = std::clamp((sum[i] + 0.5f) / (acrossSum[i] * downSum), 0.0f, 65535.0f);
            out[i] = static_cast<uint8_t>(static_cast<int32_t>(value) >> 8);
        }
    }
}

// Exactly half in both directions: each target pixel is the rounded mean of a 2 x 2 block.
void Halve(const Job& job, int components, int firstRow, int endRow)
{
    const size_t sourceRow = size_t(job.width) * size_t(components);
    for (int y = firstRow; y < endRow; ++y) {
        const uint8_t* top = job.source.data() + size_t(2 * y) * sourceRow;
        const uint8_t* bottom = top + sourceRow;
        uint8_t* out = job.target.data() + size_t(y) * size_t(job.targetWidth) * size_t(components);
        for (int x = 0; x < job.targetWidth; ++x)
            for (int k = 0; k < components; ++k) {
                const size_t a = size_t(2 * x) * size_t(components) + size_t(k);
                const size_t b = a + size_t(components);
                const uint32_t total = (uint32_t{top[a]} + top[b] + bottom[a] + bottom[b]) * 257 + 2;
                *out++ = static_cast<uint8_t>((total / 4) >> 8);
            }
    }
}

void RunRows(const Job& job, int components, bool halving, int firstRow, int endRow)
{
    if (halving) return Halve(job, components, firstRow, endRow);
    switch (components) {
        case 1: return RescaleRows<1>(job, firstRow, endRow);
        case 2: return RescaleRows<2>(job, firstRow, endRow);
        case 3: return RescaleRows<3>(job, firstRow, endRow);
        default: return RescaleRows<4>(job, firstRow, endRow);
    }
}

}  // namespace

void RescaleImage(std::span<const uint8_t> source, int width, int height, int components,
                  std::span<uint8_t> target, int targetWidth, int targetHeight, int threads)
{
    if (width <= 0 || height <= 0 || targetWidth <= 0 || targetHeight <= 0 || components < 1 || components > 4 ||
        source.size() < size_t(width) * size_t(height) * size_t(components) ||
        target.size() < size_t(targetWidth) * size_t(targetHeight) * size_t(components))
        throw Exception("Cannot rescale " + std::to_string(width) + " x " + std::to_string(height) + " to " +
                        std::to_string(targetWidth) + " x " + std::to_string(targetHeight) + " at " +
                        std::to_string(components) + " bytes per pixel from " + std::to_string(source.size()) +
                        " into " + std::to_string(target.size()) + " bytes");
    const bool halving = width == 2 * targetWidth && height == 2 * targetHeight;
    Taps across, down;
    if (!halving) {
        across = MakeTaps(width, targetWidth);
        down = MakeTaps(height, targetHeight);
    }
    const Job job{source, width, height, target, targetWidth, targetHeight, &across, &down};
    threads = std::clamp(threads, 1, targetHeight);
    std::vector<std::thread> workers;
    for (int part = 1; part < threads; ++part)
        workers.emplace_back(RunRows, std::cref(job), components, halving, targetHeight * part / threads,
                             targetHeight * (part + 1) / threads);
    RunRows(job, components, halving, 0, targetHeight / threads);
    for (std::thread& worker : workers) worker.join();
}

int RescaleThreads(int64_t targetPixels)
{
    // Below this a thread costs more than it saves.
    if (targetPixels < (int64_t{1} << 18)) return 1;
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
}

}  // namespace sauno
