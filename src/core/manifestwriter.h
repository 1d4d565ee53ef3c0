#pragma once

#include "manifest.h"

#include <QString>
#include <functional>
#include <system_error>

namespace vellomar {

// Adds lines to `downloaddir`/挖到的资源/manifest.csv (made with a header line when new) as the
// files are dug. Each line is one write on a descriptor opened for appending, under a lock
// every writer takes, so lines of digs at once never mix and a crash leaves every line whole
// but the one being written; the next writer cuts that one off (its file never got its name).
// No link is followed.
class ManifestWriter
{
  public:
    explicit ManifestWriter(const QString &downloaddir);
    // Flushes what was written to the disk.
    ~ManifestWriter();
    ManifestWriter(const ManifestWriter &) = delete;
    ManifestWriter &operator=(const ManifestWriter &) = delete;

    // Appends the line, then, while no other writer can append, runs `step` (what the line
    // records); when the step fails, the line is taken back. Returns the step's outcome (true
    // without a step), also when the line could not be written: error() then says why.
    bool record(const ManifestLine &line, const std::function<bool()> &step = {});
    // The first failure to write a line; none when every line was written.
    const std::error_code &error() const { return m_error; }

  private:
    bool open(std::error_code &ec);

    QString m_downloaddir;
    int m_fd = -1;
    bool m_written = false;
    std::error_code m_error;
};

} // namespace vellomar
