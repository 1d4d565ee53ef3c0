#pragma once

#include "entrysource.h"
#include "openedfile.h"

#include <QString>
#include <memory>

namespace vellomar {

// The folder the window's own temporary files go in: the user's runtime folder, else the
// system's temporary one.
QString privatetempfolder();

// An entry's bytes as dug (decoded), in an unnamed temporary file only this process can reach
// (mode 0600): what the preview, the viewer and the player read. Null, with `why`, when the
// entry cannot be read now or the file cannot be written.
std::shared_ptr<const OpenedFile> decodedfile(const EntrySource &source, const SourceEntry &entry,
                                              QString &why);

// The path by which this process reads an opened file (its descriptor's).
QString descriptorpath(const OpenedFile &file);

// An entry's bytes in a named file for another program: in a folder of its own (0700), the
// file 0600, both removed with this.
class PrivateCopy
{
  public:
    ~PrivateCopy();
    PrivateCopy(const PrivateCopy &) = delete;
    PrivateCopy &operator=(const PrivateCopy &) = delete;
    static std::unique_ptr<PrivateCopy> make(const EntrySource &source, const SourceEntry &entry,
                                             QString &why);
    QString path() const { return m_path; }

  private:
    PrivateCopy() = default;
    QString m_folder, m_path;
};

} // namespace vellomar
