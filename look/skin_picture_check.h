// What a skin's pictures may cost before any of them is decoded: a BMP's header must describe
// pixels that its file can hold, and the pictures of one skin together stay within a pixel
// budget, so that a forged or oversized skin cannot make the program allocate gigabytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rd {

// Larger pictures are refused whatever the budget: no window of a skin is that large.
constexpr int kMaxSkinPictureSide = 4096;
constexpr int64_t kMaxSkinPictureBytes = 32 << 20;
// The pixels of all pictures of one skin together: 2 Mi pixels, 8 MiB at 32 bits a pixel. The
// shipped skins hold about 75,000 each; a skin drawn at four times their size fits as well.
constexpr int64_t kSkinPixelBudget = 2 << 20;

// The bytes at the start of a BMP file that CheckBmpHeader reads: the file header and the part
// of the largest information header it needs.
constexpr size_t kBmpHeadBytes = 54;

struct PictureSize {
    int64_t width = 0;
    int64_t height = 0;
};

// The picture size the BMP header at the start of `head` (the file's first kBmpHeadBytes bytes,
// or all of a shorter file) gives, when the header is one this program reads and its pixel data
// can fit in a file of `fileSize` bytes. Otherwise nothing, with `why` saying what is wrong
// ("the header claims 4000x4000 pixels ..."). Compressed (RLE) pixel data is only required to
// begin inside the file: a run of two bytes may stand for 255 pixels, so its size tells nothing.
std::optional<PictureSize> CheckBmpHeader(std::string_view head, uint64_t fileSize,
                                          std::string& why);

// The pixels a skin's pictures may still take.
class SkinPixelBudget {
public:
    explicit SkinPixelBudget(int64_t pixels = kSkinPixelBudget) : left_(pixels) {}

    // Takes the pixels of a picture of `size` when they fit in what is left; false, taking
    // nothing, when they do not.
    bool Take(PictureSize size);
    int64_t Left() const { return left_; }

private:
    int64_t left_;
};

}  // namespace rd
