#include "host/loops/real_fft.h"

#include <kissfft/kiss_fftr.h>

#include <stdexcept>

namespace fogbell::loops {
namespace {

// Lays KissFFT's tables for one direction out in storage (sized here) and returns its handle.
kiss_fftr_cfg MakeTables(std::size_t size, bool inverse, std::vector<std::max_align_t>& storage) {
    const int n = static_cast<int>(size);
    std::size_t bytes = 0;
    kiss_fftr_alloc(n, inverse ? 1 : 0, nullptr, &bytes);
    storage.resize((bytes + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t));
    std::size_t room = storage.size() * sizeof(std::max_align_t);
    kiss_fftr_cfg tables = kiss_fftr_alloc(n, inverse ? 1 : 0, storage.data(), &room);
    if (tables == nullptr) {
        throw std::length_error("KissFFT refused the transform size");
    }
    return tables;
}

}  // namespace

// std::complex<float> is laid out as two floats, real then imaginary, as kiss_fft_cpx is.
static_assert(sizeof(std::complex<float>) == sizeof(kiss_fft_cpx));

RealFft::RealFft(std::size_t size) : size_(size) {
    if (size < 2 || size % 2 != 0 || size > (std::size_t{1} << 30)) {
        throw std::invalid_argument("a real FFT needs an even size");
    }
    forward_ = MakeTables(size, false, forwardTables_);
    inverse_ = MakeTables(size, true, inverseTables_);
}

void RealFft::Forward(const float* in, std::complex<float>* bins) {
    kiss_fftr(static_cast<kiss_fftr_cfg>(forward_), in, reinterpret_cast<kiss_fft_cpx*>(bins));
}

void RealFft::Inverse(const std::complex<float>* bins, float* out) {
    kiss_fftri(static_cast<kiss_fftr_cfg>(inverse_), reinterpret_cast<const kiss_fft_cpx*>(bins),
               out);
}

std::size_t FftSizeAtLeast(std::size_t n) {
    std::size_t size = 2;
    while (size < n) {
        size *= 2;
    }
    return size;
}

}  // namespace fogbell::loops
