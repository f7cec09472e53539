// The update step's side of the offline installer archive: extraction of a
// bound entry, with the status line on "INSTALLING".
#include "binaries/binaries_step.h"
#include "offline_archive.h"

bool ReqBinaries::ExtractFromArchive(const ArchiveEntry& entry, HANDLE file, const std::wstring& name,
                                     std::wstring& hash, const ManifestEntry& manifestEntry, int64_t* taken)
{
    Phase = PHASE_INSTALLING;
    return ExtractArchivedObject(entry, file, name, manifestEntry.remoteName, hash, BytesDone, AbortRequested,
                                 taken);
}
