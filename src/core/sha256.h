#pragma once

#include <QByteArray>
#include <cstddef>
#include <memory>

namespace vellomar {

// SHA-256 of bytes seen in passing (OpenSSL's, which uses the processor's SHA instructions).
class Sha256
{
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;
    void reset();
    void update(const char *data, size_t size);
    // Lower-case hex of everything since the last reset; ends the sum.
    QByteArray hex();

  private:
    struct Context;
    std::unique_ptr<Context> m_context;
};

} // namespace vellomar
