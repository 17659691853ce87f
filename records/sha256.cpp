#include "records/sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

struct Sha256::Context {
  Context() : digest(EVP_MD_CTX_new()) {
    if (!digest || EVP_DigestInit_ex(digest, EVP_sha256(), nullptr) != 1) {
      EVP_MD_CTX_free(digest);
      throw std::runtime_error("OpenSSL has no SHA-256");
    }
  }
  ~Context() { EVP_MD_CTX_free(digest); }

  EVP_MD_CTX* digest;
};

Sha256::Sha256() : m_context(std::make_unique<Context>()) {}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) { EVP_DigestUpdate(m_context->digest, data, size); }

std::string Sha256::HexDigest() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(m_context->digest, digest, &length);
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 0x0F];
  }
  return text;
}
