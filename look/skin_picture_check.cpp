#include "look/skin_picture_check.h"

namespace rd {

namespace {

// Information header sizes: the old OS/2 one, then Windows 3 and its later extensions and OS/2's
// second one. Only the first 40 bytes of the larger ones are read.
constexpr uint32_t kCoreHeader = 12;
constexpr uint32_t kInfoHeaders[] = {40, 52, 56, 64, 108, 124};
constexpr uint64_t kFileHeader = 14;

enum Compression : uint32_t { kNone = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };

uint32_t Little(std::string_view bytes, size_t at, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

bool KnownInfoHeader(uint32_t size) {
    for (const uint32_t known : kInfoHeaders)
        if (size == known)
            return true;
    return false;
}

bool CompressionFits(uint32_t compression, uint32_t bits) {
    switch (compression) {
        case kNone: return true;
        case kRle8: return bits == 8;
        case kRle4: return bits == 4;
        case kBitFields: return bits == 16 || bits == 32;
        default: return false;
    }
}

std::string Pixels(const PictureSize& size) {
    return std::to_string(size.width) + "x" + std::to_string(size.height) + " pixels";
}

}  // namespace

std::optional<PictureSize> CheckBmpHeader(std::string_view head, uint64_t fileSize,
                                          std::string& why) {
    if (head.size() < 2 || head[0] != 'B' || head[1] != 'M') {
        why = "not a BMP picture";
        return std::nullopt;
    }
    if (head.size() < kFileHeader + 4) {
        why = "its header is cut short";
        return std::nullopt;
    }
    const uint32_t headerSize = Little(head, 14, 4);
    const bool core = headerSize == kCoreHeader;
    if (!core && !KnownInfoHeader(headerSize)) {
        why = "its information header of " + std::to_string(headerSize) +
              " bytes is of no kind this program reads";
        return std::nullopt;
    }
    const uint64_t headersEnd = kFileHeader + headerSize;
    if (head.size() < (core ? headersEnd : kBmpHeadBytes) || fileSize < headersEnd) {
        why = "its header is cut short";
        return std::nullopt;
    }

    PictureSize size;
    uint32_t bits = 0;
    uint32_t compression = kNone;
    if (core) {
        size.width = Little(head, 18, 2);
        size.height = Little(head, 20, 2);
        bits = Little(head, 24, 2);
    } else {
        size.width = static_cast<int32_t>(Little(head, 18, 4));
        // A negative height stores the rows from the top down.
        size.height = static_cast<int32_t>(Little(head, 22, 4));
        if (size.height < 0)
            size.height = -size.height;
        bits = Little(head, 28, 2);
        compression = Little(head, 30, 4);
    }
    if (size.width <= 0 || size.height == 0) {
        why = "the header claims " + std::to_string(size.width) + "x" +
              std::to_string(size.height) + " pixels, no picture at all";
        return std::nullopt;
    }
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        why = "the header claims " + std::to_string(bits) + " bits a pixel, which no BMP has";
        return std::nullopt;
    }
    if (!CompressionFits(compression, bits)) {
        why = "its compression (" + std::to_string(compression) + ") with " + std::to_string(bits) +
              " bits a pixel is not one this program reads";
        return std::nullopt;
    }

    const uint64_t offset = Little(head, 10, 4);
    if (offset < headersEnd) {
        why = "its pixel data would begin inside its header, at byte " + std::to_string(offset);
        return std::nullopt;
    }
    const uint64_t data = offset < fileSize ? fileSize - offset : 0;
    if (compression == kRle8 || compression == kRle4) {
        // The shortest compressed picture is the two bytes of its end mark.
        if (data < 2) {
            why = "its compressed pixel data is missing";
            return std::nullopt;
        }
        return size;
    }
    // Rows are padded to whole 32-bit words. Neither factor exceeds 2^36, so the quotient
    // stands in for a product that might not fit in 64 bits.
    const uint64_t rowBytes = (static_cast<uint64_t>(size.width) * bits + 31) / 32 * 4;
    if (static_cast<uint64_t>(size.height) > data / rowBytes) {
        why = "the header claims " + Pixels(size) + " of " + std::to_string(bits) +
              " bits, more than the " + std::to_string(data) +
              " bytes of pixel data in the file can hold";
        return std::nullopt;
    }
    return size;
}

bool SkinPixelBudget::Take(PictureSize size) {
    if (size.width < 0 || size.height < 0)
        return false;
    if (size.width > 0 && size.height > left_ / size.width)
        return false;
    left_ -= size.width * size.height;
    return true;
}

}  // namespace rd
