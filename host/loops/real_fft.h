// A real-input FFT of one fixed even size on KissFFT. The transform tables live in memory the
// object owns (allocated with operator new), so that nothing of it is hidden from the caller's
// accounting; the object is not shared between threads.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace fogbell::loops {

class RealFft {
  public:
    // Tables for size real values (size even, at least 2) in and size / 2 + 1 bins out.
    explicit RealFft(std::size_t size);
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;

    std::size_t Size() const { return size_; }
    std::size_t Bins() const { return size_ / 2 + 1; }

    // bins[k] = sum over n of in[n] * exp(-2 pi i k n / size), for k in [0, Bins()).
    void Forward(const float* in, std::complex<float>* bins);
    // out[n] = sum over k of bins[k] * exp(2 pi i k n / size) over the whole Hermitian spectrum:
    // the inverse without the 1 / size factor.
    void Inverse(const std::complex<float>* bins, float* out);

  private:
    std::size_t size_;
    std::vector<std::max_align_t> forwardTables_;
    std::vector<std::max_align_t> inverseTables_;
    void* forward_ = nullptr;
    void* inverse_ = nullptr;
};

// The smallest power of two at least n (and at least 2).
std::size_t FftSizeAtLeast(std::size_t n);

}  // namespace fogbell::loops
