#include "Platform/Foundation/Digest.hpp"

#include "Platform/Foundation/RegularFile.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <openssl/evp.h>

namespace Platform {

namespace {

// Fetched once: handing a built-in method to EVP_DigestInit_ex looks its
// implementation up again at every call, which costs more than hashing a path.
const EVP_MD* fetchedMethod(Digest::Algorithm algorithm)
{
    static const EVP_MD* const sha1 = ::EVP_MD_fetch(nullptr, "SHA1", nullptr);
    static const EVP_MD* const sha256 = ::EVP_MD_fetch(nullptr, "SHA256", nullptr);
    const EVP_MD* fetched = algorithm == Digest::Algorithm::SHA1 ? sha1 : sha256;
    if (fetched)
        return fetched;
    return algorithm == Digest::Algorithm::SHA1 ? ::EVP_sha1() : ::EVP_sha256();
}

} // namespace

struct Digest::Context {
    EVP_MD_CTX* context { nullptr };
    ~Context() { ::EVP_MD_CTX_free(context); }
};

Digest::Digest(Algorithm algorithm)
    : m_context(std::make_unique<Context>())
{
    m_context->context = ::EVP_MD_CTX_new();
    const EVP_MD* method = fetchedMethod(algorithm);
    // Both methods are built into libcrypto; initialisation fails only when
    // memory runs out, which nothing here could recover from.
    if (!m_context->context || ::EVP_DigestInit_ex(m_context->context, method, nullptr) != 1)
        std::abort();
}

Digest::~Digest() = default;
Digest::Digest(Digest&&) noexcept = default;
Digest& Digest::operator=(Digest&&) noexcept = default;

void Digest::update(std::span<const std::uint8_t> bytes)
{
    if (!bytes.empty())
        ::EVP_DigestUpdate(m_context->context, bytes.data(), bytes.size());
}

void Digest::update(std::string_view text)
{
    update(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

Data Digest::finish() &&
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    ::EVP_DigestFinal_ex(m_context->context, digest, &length);
    m_context.reset();
    return Data(digest, length);
}

Data Digest::of(Algorithm algorithm, std::span<const std::uint8_t> bytes)
{
    Digest digest(algorithm);
    digest.update(bytes);
    return std::move(digest).finish();
}

Data Digest::of(Algorithm algorithm, std::string_view text)
{
    Digest digest(algorithm);
    digest.update(text);
    return std::move(digest).finish();
}

std::expected<Data, std::error_code> Digest::ofFile(Algorithm algorithm, const std::string& path)
{
    auto file = RegularFile::open(path);
    if (!file)
        return std::unexpected(file.error());

    Digest digest(algorithm);
    // Most files hashed are small and hashed one after another: a block the
    // size of the largest read, zeroed and returned to the allocator for each
    // of them, cost more than hashing them. The size seen at opening only
    // picks the block; the file is read to its end whatever it says.
    constexpr std::size_t largestBlock = 256 * 1024;
    std::array<std::uint8_t, 16 * 1024> smallBlock;
    std::unique_ptr<std::uint8_t[]> largeBlock;
    std::span<std::uint8_t> buffer(smallBlock);
    if (file->size() >= smallBlock.size()) {
        const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(largestBlock, file->size() + 1));
        largeBlock = std::make_unique_for_overwrite<std::uint8_t[]>(size);
        buffer = std::span(largeBlock.get(), size);
    }
    for (;;) {
        auto count = file->read(buffer);
        if (!count)
            return std::unexpected(count.error());
        if (*count == 0)
            return std::move(digest).finish();
        digest.update(std::span(buffer.data(), *count));
    }
}

std::string hexString(std::span<const std::uint8_t> bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (auto byte : bytes) {
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 0x0f]);
    }
    return text;
}

std::string hexString(const Data& data)
{
    return hexString(data.bytes());
}

std::string sha1Hex(std::span<const std::uint8_t> bytes)
{
    return hexString(Digest::of(Digest::Algorithm::SHA1, bytes));
}

std::string sha1Hex(std::string_view text)
{
    return hexString(Digest::of(Digest::Algorithm::SHA1, text));
}

std::string sha256Hex(std::span<const std::uint8_t> bytes)
{
    return hexString(Digest::of(Digest::Algorithm::SHA256, bytes));
}

std::string sha256Hex(std::string_view text)
{
    return hexString(Digest::of(Digest::Algorithm::SHA256, text));
}

} // namespace Platform
