// SHA-256, to name exactly which image went into a handset: OpenSSL's digest, which uses the
// processor's SHA instructions where there are any.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const void* data, std::size_t size);
  // The digest in lower-case hexadecimal; the object is spent afterwards.
  std::string HexDigest();

 private:
  struct Context;
  std::unique_ptr<Context> m_context;
};
