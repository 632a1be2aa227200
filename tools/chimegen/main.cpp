// Synthesises Tarnwhistle's completion chime: two soft bell strikes a fifth apart (E6, then A5
// an octave-and-fourth below the shimmer), written as a 16-bit mono PCM WAV file.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

struct Strike {
    double start;      // seconds
    double frequency;  // fundamental, Hz
    double gain;
};

// A bell-like partial series: slightly inharmonic overtones that die away faster than the
// fundamental, so the tone starts bright and settles into a round hum.
double bell(double t, double f) {
    struct Partial {
        double ratio, amp, decay;
    };
    static constexpr Partial partials[] = {
        {1.0, 1.0, 2.2}, {2.0, 0.45, 3.5}, {2.76, 0.25, 5.0}, {4.07, 0.12, 7.5}, {5.4, 0.06, 10.0},
    };
    double v = 0;
    for (const auto& p : partials) {
        v += p.amp * std::exp(-p.decay * t) * std::sin(2 * kPi * f * p.ratio * t);
    }
    const double attack = 1.0 - std::exp(-t / 0.004);  // a 4 ms strike, no click
    return v * attack;
}

void put16(std::FILE* f, uint16_t v) {
    std::fputc(v & 0xff, f);
    std::fputc(v >> 8, f);
}
void put32(std::FILE* f, uint32_t v) {
    put16(f, v & 0xffff);
    put16(f, v >> 16);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tw-chimegen OUTPUT.wav\n");
        return 2;
    }
    const Strike strikes[] = {{0.0, 1318.5, 0.55}, {0.16, 880.0, 0.65}};
    const double length = 1.6;
    const int frames = static_cast<int>(length * kRate);
    std::vector<double> mix(frames, 0.0);
    for (const auto& s : strikes) {
        for (int i = static_cast<int>(s.start * kRate); i < frames; ++i) {
            const double t = i / double(kRate) - s.start;
            mix[i] += s.gain * bell(t, s.frequency);
        }
    }
    double peak = 0;
    for (double v : mix) peak = std::max(peak, std::fabs(v));
    const double scale = peak > 0 ? 0.8 / peak : 0;
    // Fade the last 150 ms to silence so the file never ends on a step.
    const int fade = static_cast<int>(0.15 * kRate);
    for (int i = 0; i < fade; ++i) mix[frames - 1 - i] *= i / double(fade);

    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    const uint32_t dataBytes = frames * 2;
    std::fwrite("RIFF", 1, 4, f);
    put32(f, 36 + dataBytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    put32(f, 16);
    put16(f, 1);  // PCM
    put16(f, 1);  // mono
    put32(f, kRate);
    put32(f, kRate * 2);
    put16(f, 2);
    put16(f, 16);
    std::fwrite("data", 1, 4, f);
    put32(f, dataBytes);
    for (double v : mix) {
        const long s = std::lround(std::clamp(v * scale, -1.0, 1.0) * 32767.0);
        put16(f, static_cast<uint16_t>(static_cast<int16_t>(s)));
    }
    return std::fclose(f) == 0 ? 0 : 1;
}
