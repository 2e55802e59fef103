// Writes the game's two sounds as 16-bit mono RIFF files at 44100 Hz, the same bytes on every run:
//   tuli2.wav      a wood fire: a low roar, flickering flames, crackles and pops; loops seamlessly
//   sihahdus2.wav  water on hot stones: a sharp burst of steam decaying into a soft hiss
// The header is "fmt " (18 bytes), "fact" (4 bytes) and "data", whose samples start at byte 58.
//
//   make_samples OUTPUT_DIR
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int Rate = 44100;
constexpr double Pi = 3.14159265358979323846;

// A small deterministic generator (xorshift64*), so that every build writes the same bytes.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed ? seed : 1) {}
    uint64_t Next()
    {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 2685821657736338717ull;
    }
    double Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }  // [0, 1)
    double Signed() { return 2 * Uniform() - 1; }

private:
    uint64_t state_;
};

// A two-pole resonant band-pass (constant peak gain), in the usual biquad form.
class BandPass {
public:
    BandPass(double centre, double q)
    {
        const double w = 2 * Pi * centre / Rate, alpha = std::sin(w) / (2 * q), a0 = 1 + alpha;
        b0_ = alpha / a0;
        b2_ = -alpha / a0;
        a1_ = -2 * std::cos(w) / a0;
        a2_ = (1 - alpha) / a0;
    }
    double operator()(double x)
    {
        const double y = b0_ * x + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
        x2_ = x1_;
        x1_ = x;
        y2_ = y1_;
        y1_ = y;
        return y;
    }

private:
    double b0_, b2_, a1_, a2_, x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

class OnePoleLowPass {
public:
    explicit OnePoleLowPass(double cutoff) : k_(1 - std::exp(-2 * Pi * cutoff / Rate)) {}
    double operator()(double x) { return y_ += k_ * (x - y_); }

private:
    double k_, y_ = 0;
};

// A slow wobble that repeats exactly `cycles` times over `length` frames.
double Periodic(size_t i, size_t length, double cycles, double phase)
{
    return std::sin(2 * Pi * cycles * static_cast<double>(i) / static_cast<double>(length) + phase);
}

// Adds one short event at `at`, wrapping past the end so that a looped sound keeps it whole.
template <class Shape>
void AddWrapped(std::vector<double>& out, size_t at, size_t length, Shape shape)
{
    for (size_t j = 0; j < length; ++j) out[(at + j) % out.size()] += shape(j);
}

std::vector<double> Fire(size_t frames)
{
    Random random(0x7475'6c69'3257ull);
    // Noise filtered beyond the loop's end, so that the tail can be faded into the head.
    const size_t fade = Rate / 2;
    std::vector<double> roar(frames + fade), flame(frames + fade);
    {
        OnePoleLowPass low1(90), low2(180);
        BandPass body(140, 0.7), flicker(900, 0.8);
        for (size_t i = 0; i < roar.size(); ++i) {
            const double n = random.Signed();
            roar[i] = 2.2 * low2(low1(n)) + 0.35 * body(n);
            flame[i] = flicker(random.Signed());
        }
    }
    std::vector<double> out(frames);
    for (size_t i = 0; i < frames; ++i) {
        double r = roar[i], f = flame[i];
        if (i < fade) {  // equal-power cross-fade of the continuation into the start
            const double t = static_cast<double>(i) / fade, in = std::sin(t * Pi / 2), outGain = std::cos(t * Pi / 2);
            r = in * r + outGain * roar[frames + i];
            f = in * f + outGain * flame[frames + i];
        }
        // The fire breathes: slow swells of the roar and of the flames, periodic over the loop.
        const double swell = 1 + 0.25 * Periodic(i, frames, 3, 0.4) + 0.12 * Periodic(i, frames, 7, 2.1);
        const double lick = 0.55 + 0.45 * std::max(0.0, Periodic(i, frames, 11, 1.3) * Periodic(i, frames, 5, 0.2));
        out[i] = 0.22 * swell * r + 0.035 * lick * f;
    }
    // Crackles: tiny bright clicks, in clusters as the wood splits.
    size_t at = 0;
    while (true) {
        at += static_cast<size_t>(-std::log(1 - random.Uniform()) * Rate / 28.0) + 40;
        if (at >= frames) break;
        const double amplitude = 0.08 + 0.32 * std::pow(random.Uniform(), 2.5);
        const size_t length = static_cast<size_t>(Rate * (0.0015 + 0.004 * random.Uniform()));
        const double decay = 1.0 / (length * 0.25);
        BandPass tone(2200 + 4500 * random.Uniform(), 1.5 + 2 * random.Uniform());
        Random noise(random.Next());
        AddWrapped(out, at, length, [&](size_t j) {
            return amplitude * 3.0 * std::exp(-decay * static_cast<double>(j)) * tone(noise.Signed());
        });
        if (random.Uniform() < 0.35) at += static_cast<size_t>(Rate * 0.01 * random.Uniform());  // a quick double
    }
    // Pops: rarer, louder, lower knocks of gas bursting from the logs.
    at = static_cast<size_t>(Rate * 0.3);
    while (true) {
        at += static_cast<size_t>(-std::log(1 - random.Uniform()) * Rate / 1.6) + Rate / 10;
        if (at >= frames) break;
        const double amplitude = 0.35 + 0.4 * random.Uniform();
        const double centre = 500 + 1300 * random.Uniform();
        const size_t length = static_cast<size_t>(Rate * (0.02 + 0.03 * random.Uniform()));
        BandPass body(centre, 4), crack(5000, 1);
        Random noise(random.Next());
        AddWrapped(out, at, length, [&](size_t j) {
            const double t = static_cast<double>(j) / Rate, n = noise.Signed();
            const double attack = std::min(1.0, t / 0.0004);
            return amplitude * attack * (3.5 * std::exp(-t / 0.007) * body(n) + 1.2 * std::exp(-t / 0.0015) * crack(n));
        });
    }
    return out;
}

std::vector<double> Hiss(size_t frames)
{
    Random random(0x7369'6861'6864ull);
    std::vector<double> out(frames);
    BandPass steam(5200, 0.55), sizzle(2600, 0.9), air(9000, 0.8);
    OnePoleLowPass sweep(3);
    const double total = static_cast<double>(frames) / Rate;
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / Rate;
        const double attack = 1 - std::exp(-t / 0.006);
        // A sharp burst that dies into a soft hiss, closed by a short fade at the very end.
        const double burst = std::exp(-t / 0.16), tail = 0.22 * std::exp(-t / 0.7);
        const double close = std::min(1.0, (total - t) / 0.08);
        const double n = random.Signed();
        const double tone = 0.55 * steam(n) + 0.3 * sizzle(n) * (0.6 + 0.4 * std::exp(-t / 0.25)) + 0.35 * air(n);
        // The hiss wavers a little as the steam rises.
        const double waver = 1 + 0.15 * sweep(random.Signed() * 40);
        out[i] = 1.9 * attack * (burst + tail) * close * waver * tone;
    }
    // Spits of boiling water in the first half second, thinning out.
    double at = 0.004;
    while (at < 0.9) {
        at += -std::log(1 - random.Uniform()) * (0.006 + 0.05 * at);
        const size_t start = static_cast<size_t>(at * Rate), length = static_cast<size_t>(Rate * 0.003);
        if (start + length >= frames) break;
        const double amplitude = 0.25 * std::exp(-at / 0.3) * (0.4 + 0.6 * random.Uniform());
        BandPass tone(3000 + 4000 * random.Uniform(), 2);
        for (size_t j = 0; j < length; ++j)
            out[start + j] += amplitude * 3 * std::exp(-static_cast<double>(j) / (length * 0.25)) * tone(random.Signed());
    }
    return out;
}

void Put16(std::vector<uint8_t>& b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
void PutTag(std::vector<uint8_t>& b, const char* tag) { b.insert(b.end(), tag, tag + 4); }

// Scales to `peak` of full scale and writes the 58-byte header and the samples.
bool WriteWav(const std::string& path, const std::vector<double>& samples, double peak)
{
    double maximum = 1e-9;
    for (double s : samples) maximum = std::max(maximum, std::abs(s));
    const uint32_t dataSize = static_cast<uint32_t>(samples.size() * 2);
    std::vector<uint8_t> b;
    PutTag(b, "RIFF");
    Put32(b, 50 + dataSize);
    PutTag(b, "WAVE");
    PutTag(b, "fmt ");
    Put32(b, 18);
    Put16(b, 1);         // PCM
    Put16(b, 1);         // mono
    Put32(b, Rate);
    Put32(b, Rate * 2);  // bytes per second
    Put16(b, 2);         // block alignment
    Put16(b, 16);        // bits per sample
    Put16(b, 0);         // no extra format bytes
    PutTag(b, "fact");
    Put32(b, 4);
    Put32(b, static_cast<uint32_t>(samples.size()));
    PutTag(b, "data");
    Put32(b, dataSize);
    for (double s : samples) {
        const long v = std::lround(std::clamp(s * peak / maximum, -1.0, 1.0) * 32767);
        Put16(b, static_cast<uint32_t>(static_cast<int16_t>(v)) & 0xFFFF);
    }
    const std::string temporary = path + ".part";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
        if (!file.flush()) return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples OUTPUT_DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    if (!WriteWav(dir + "/tuli2.wav", Fire(456435), 0.8) || !WriteWav(dir + "/sihahdus2.wav", Hiss(69796), 0.85)) {
        std::fprintf(stderr, "make_samples: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
