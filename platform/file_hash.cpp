#include "platform/file_hash.h"

#include "platform/fault_injection.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>
#include <xxhash.h>

#include <array>
#include <cerrno>
#include <vector>

namespace rd {

namespace {

struct KindFacts {
    HashKind kind;
    std::string_view extension;
    size_t hexLength;
};

constexpr std::array<KindFacts, 5> kKinds = {{{HashKind::Xxh128, ".xxh128", 32},
                                              {HashKind::Sha256, ".sha256", 64},
                                              {HashKind::Sha512, ".sha512", 128},
                                              {HashKind::Sha1, ".sha1", 40},
                                              {HashKind::Md5, ".md5", 32}}};

const KindFacts& FactsOf(HashKind kind) {
    for (const KindFacts& facts : kKinds) {
        if (facts.kind == kind)
            return facts;
    }
    return kKinds[0];
}

const EVP_MD* DigestOf(HashKind kind) {
    switch (kind) {
        case HashKind::Sha256: return EVP_sha256();
        case HashKind::Sha512: return EVP_sha512();
        case HashKind::Sha1: return EVP_sha1();
        case HashKind::Md5: return EVP_md5();
        case HashKind::Xxh128: break;
    }
    return nullptr;
}

std::string Hex(const unsigned char* bytes, size_t length) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (size_t i = 0; i < length; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 15];
    }
    return hex;
}

}  // namespace

struct FileHasher::State {
    XXH3_state_t* xxh = nullptr;
    EVP_MD_CTX* evp = nullptr;
    ~State() {
        if (xxh)
            XXH3_freeState(xxh);
        if (evp)
            EVP_MD_CTX_free(evp);
    }
};

std::string_view HashExtension(HashKind kind) {
    return FactsOf(kind).extension;
}

size_t HashHexLength(HashKind kind) {
    return FactsOf(kind).hexLength;
}

std::optional<HashKind> HashKindOfName(std::string_view name) {
    for (const KindFacts& facts : kKinds) {
        if (name.size() > facts.extension.size() && name.ends_with(facts.extension))
            return facts.kind;
    }
    return std::nullopt;
}

FileHasher::FileHasher(HashKind kind) : kind_(kind), state_(std::make_unique<State>()) {
    if (kind == HashKind::Xxh128) {
        state_->xxh = XXH3_createState();
        if (state_->xxh)
            XXH3_128bits_reset(state_->xxh);
    } else {
        state_->evp = EVP_MD_CTX_new();
        if (state_->evp)
            EVP_DigestInit_ex(state_->evp, DigestOf(kind), nullptr);
    }
}

FileHasher::~FileHasher() = default;

void FileHasher::Update(const void* data, size_t length) {
    if (state_->xxh)
        XXH3_128bits_update(state_->xxh, data, length);
    else if (state_->evp)
        EVP_DigestUpdate(state_->evp, data, length);
}

std::string FileHasher::HexDigest() {
    if (state_->xxh) {
        XXH128_canonical_t canonical;
        XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(state_->xxh));
        return Hex(canonical.digest, sizeof canonical.digest);
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!state_->evp || EVP_DigestFinal_ex(state_->evp, digest, &length) != 1)
        return {};
    return Hex(digest, length);
}

int HashFromDisk(int fd, HashKind kind, std::string& hex) {
    if (::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) != 0)
        return EINVAL;
    return HashOpenFile(fd, kind, hex);
}

int HashOpenFile(int fd, HashKind kind, std::string& hex) {
    constexpr size_t kPiece = 1 << 20;
    std::vector<unsigned char> buffer(kPiece);
    FileHasher hasher(kind);
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            break;
        // Tests alter what the disk gave here, as a disk that lost a write would.
        if (const int injected = fault::Check(fault::Op::Read, fd, static_cast<uint64_t>(at),
                                              buffer.data(), static_cast<uint32_t>(n)))
            return injected;
        hasher.Update(buffer.data(), static_cast<size_t>(n));
        at += n;
    }
    hex = hasher.HexDigest();
    return hex.empty() ? ENOMEM : 0;
}

}  // namespace rd
