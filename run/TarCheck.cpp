#include "TarCheck.h"

#include "FileReading.h"

#include <archive.h>
#include <archive_entry.h>

#include <memory>

namespace TarCheck {

namespace {

constexpr la_int64_t kBlock = 512;
// Two blocks of zeros end a tar archive.
constexpr la_int64_t kEndMarker = 2 * kBlock;

struct ArchiveFree
{
    void operator()(archive *reading) const { archive_read_free(reading); }
};

la_ssize_t readBlock(archive *, void *file, const void **block)
{
    const QByteArrayView read = static_cast<FileReading *>(file)->next();
    *block = read.data();
    return static_cast<FileReading *>(file)->failed() ? ARCHIVE_FATAL : read.size();
}

// A read that failed after the archive's start was recognised: a file that ends within the block
// being read was cut short; a whole block there that is no valid header is damage of another kind.
Verdict failedAt(archive *reading, const FileReading &file)
{
    if (file.failed())
        return Verdict::Unreadable;
    return file.size() - archive_filter_bytes(reading, -1) < kBlock ? Verdict::EndsEarly : Verdict::NotTar;
}

} // namespace

Verdict read(FileReading &file, const QByteArray &member)
{
    const std::unique_ptr<archive, ArchiveFree> reading(archive_read_new());
    archive_read_support_format_tar(reading.get());
    // Opening reads the first header: no tar format recognises it.
    if (archive_read_open(reading.get(), &file, nullptr, readBlock, nullptr) != ARCHIVE_OK)
        return file.failed() ? Verdict::Unreadable : Verdict::NotTar;
    qint64 regularFiles = 0;
    bool holdsMember = member.isEmpty();
    // Where the last member's data (with its padding) ends: the end-of-archive marker follows.
    la_int64_t membersEnd = 0;
    for (;;) {
        archive_entry *entry = nullptr;
        const int header = archive_read_next_header(reading.get(), &entry);
        if (header == ARCHIVE_EOF)
            break;
        if (header < ARCHIVE_WARN)
            return failedAt(reading.get(), file);
        const bool regular = archive_entry_filetype(entry) == AE_IFREG;
        regularFiles += regular;
        holdsMember = holdsMember || (regular && qstrcmp(archive_entry_pathname(entry), member.constData()) == 0);
        // Skipping a member's data would not find it cut short: every block of it is read.
        const void *block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        int data = ARCHIVE_OK;
        while ((data = archive_read_data_block(reading.get(), &block, &size, &offset)) == ARCHIVE_OK) {
        }
        if (data != ARCHIVE_EOF)
            return failedAt(reading.get(), file);
        membersEnd = (archive_filter_bytes(reading.get(), -1) + kBlock - 1) / kBlock * kBlock;
    }
    // libarchive also ends an archive where the file ends cleanly at a header's place, or after a
    // single block of zeros: tar would unpack that, but a file cut there lacks the members that
    // followed. Only both blocks of the end-of-archive marker, read after the last member, tell that
    // the archive is all there.
    if (archive_filter_bytes(reading.get(), -1) - membersEnd < kEndMarker)
        return Verdict::EndsEarly;
    if (regularFiles == 0)
        return Verdict::NoFiles;
    return holdsMember ? Verdict::Sound : Verdict::LacksMember;
}

} // namespace TarCheck
