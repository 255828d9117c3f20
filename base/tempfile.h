// Writing an output file so that a failed or interrupted write never leaves a half-written
// file under the target's name.
//
// A regular file (new or existing) is written as a new hidden file beside it that is renamed
// over it once complete; an existing file keeps its permissions, and a symbolic link is
// followed to the file it names. Anything else that exists and is not a folder (a device such
// as /dev/null, a pipe) is written in place: nothing is created beside it.
//
// Every temporary file is listed in a process-wide table while it exists, so that a signal
// handler can remove them all (RemoveTemporaryFiles) before the signal ends the process.
#pragma once

#include "base/filehandle.h"

#include <string>

namespace qz {

class TOutputFile {
public:
    TOutputFile() = default;
    ~TOutputFile(); // an output that was not committed is discarded
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    // Opens path for writing (see above). False with errno set when it cannot be written: a
    // folder (EISDIR), an existing file without write permission, no folder or no room for
    // the temporary file.
    bool Open(const std::string& path);

    // The descriptor to write to, while this object owns it.
    int Fd() const { return FFd.get(); }
    // Hands the descriptor to the caller (who closes it, for example through fclose).
    int ReleaseFd() { return FFd.release(); }
    // Where the data goes: the temporary file, or the target when written in place.
    const std::string& WritePath() const { return FTemp.empty() ? FTarget : FTemp; }
    // The file that receives the output (a symbolic link resolved).
    const std::string& Target() const { return FTarget; }
    bool InPlace() const { return FOpen && FTemp.empty(); }

    // Closes the descriptor (when still owned) and puts the file in place. False with errno
    // set on failure; the temporary file is then removed.
    bool Commit();
    // Closes the descriptor and removes the temporary file.
    void Discard();

private:
    TFileHandle FFd;
    std::string FTarget;
    std::string FTemp;
    int FSlot = -1; // entry in the table of temporary files
    bool FOpen = false;
};

// The file a write to path creates or replaces: symbolic links are followed, a dangling one
// to the file it would create (at most 40 links).
std::string FollowLinks(std::string path);

// Removes every temporary file of the process that is still listed. Async-signal-safe: meant
// for a signal handler that is about to end the process.
void RemoveTemporaryFiles() noexcept;

} // namespace qz
