// SHA-256 from libcrypto, the canonical field encoding and hex text.
#include "journal/ChainHash.h"

#include <openssl/evp.h>

#include <fstream>
#include <memory>
#include <vector>

namespace pondus::journal {

Digest chainDigest(const Digest &previous, std::string_view content)
{
    Digest digest{};
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
    EVP_DigestUpdate(context.get(), previous.data(), previous.size());
    EVP_DigestUpdate(context.get(), content.data(), content.size());
    EVP_DigestFinal_ex(context.get(), digest.data(), nullptr);
    return digest;
}

std::string fileSha256(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return {};
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
    std::vector<char> block(1 << 16);
    while (file.read(block.data(), std::streamsize(block.size())) || file.gcount() > 0)
        EVP_DigestUpdate(context.get(), block.data(), size_t(file.gcount()));
    if (file.bad())
        return {};
    Digest digest{};
    EVP_DigestFinal_ex(context.get(), digest.data(), nullptr);
    return hexOf(digest);
}

std::string hexOf(std::string_view bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const char byte : bytes) {
        hex += digits[(unsigned char)byte >> 4];
        hex += digits[(unsigned char)byte & 15];
    }
    return hex;
}

std::optional<Digest> digestOfHex(std::string_view hex)
{
    Digest digest{};
    if (hex.size() != digest.size() * 2)
        return std::nullopt;
    const auto nibble = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1; };
    for (size_t i = 0; i < digest.size(); ++i) {
        const int high = nibble(hex[2 * i]), low = nibble(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        digest[i] = static_cast<unsigned char>(high << 4 | low);
    }
    return digest;
}

std::string hexOf(const Digest &digest)
{
    return hexOf(std::string_view(reinterpret_cast<const char *>(digest.data()), digest.size()));
}

void appendField(std::string &text, std::string_view field)
{
    text += std::to_string(field.size());
    text += ':';
    text += field;
}

} // namespace pondus::journal
