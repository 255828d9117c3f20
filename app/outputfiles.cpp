#include "app/outputfiles.h"

#include "app/cmdline.h"
#include "base/tempfile.h"
#include "base/text.h"
#include "treemap/imageexport.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace qz {

namespace {

// An existing file that is written as it is: neither a regular file nor a folder.
bool IsSpecialFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

bool HasExtension(const std::string& name) {
    const size_t slash = name.find_last_of('/');
    const size_t dot = name.find_last_of('.');
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    return dot != std::string::npos && dot > base; // a leading dot starts a hidden name
}

TFileIdentity IdentityOf(const struct stat& st) {
    TFileIdentity id;
    id.Exists = true;
    id.Regular = S_ISREG(st.st_mode);
    id.Device = st.st_dev;
    id.Inode = st.st_ino;
    if (S_ISBLK(st.st_mode)) id.SpecialDevice = st.st_rdev;
    return id;
}

std::string ShownName(const TPlannedOutput& o) {
    return o.File == "-" ? std::string("standard output") : o.File;
}

} // namespace

const char* OutputOption(TOutputKind kind) {
    switch (kind) {
    case TOutputKind::Export:
        return "--export";
    case TOutputKind::FileTypes:
        return "--exportfiletypes";
    case TOutputKind::TreemapImage:
        return "--treemapimagefile";
    case TOutputKind::Dump:
        return "--dumpmftfile";
    }
    return "";
}

std::string OutputFileName(TOutputKind kind, const std::string& value, double startTime) {
    if (value == "-") return value;
    const std::string name = ExpandDateTimeName(value, startTime);
    if (IsSpecialFile(name)) return name;
    switch (kind) {
    case TOutputKind::TreemapImage:
        return Utf16ToUtf8(TreemapImageFileName(Utf8ToUtf16(value), startTime));
    case TOutputKind::Dump:
        return HasExtension(name) ? name : name + ".mft";
    case TOutputKind::Export:
    case TOutputKind::FileTypes:
        break;
    }
    return name;
}

TFileIdentity IdentifyFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return IdentityOf(st);
    TFileIdentity id;
    // Not there (yet): where a write would put it.
    const std::filesystem::path target = FollowLinks(path);
    std::error_code ec;
    std::filesystem::path resolved =
        std::filesystem::weakly_canonical(std::filesystem::absolute(target, ec), ec);
    if (ec) resolved = std::filesystem::absolute(target, ec).lexically_normal();
    id.Path = ec ? target.string() : resolved.string();
    return id;
}

TFileIdentity IdentifyStandardOutput() {
    struct stat st {};
    if (::fstat(STDOUT_FILENO, &st) == 0) return IdentityOf(st);
    return {};
}

bool SameFile(const TFileIdentity& a, const TFileIdentity& b) {
    if (a.Exists != b.Exists) return false;
    if (!a.Exists) return !a.Path.empty() && a.Path == b.Path;
    if (a.Device == b.Device && a.Inode == b.Inode) return true;
    // Two device nodes of one block device (/dev/sdb1 and a copy of its node elsewhere).
    return a.SpecialDevice != 0 && a.SpecialDevice == b.SpecialDevice;
}

bool CheckOutputFiles(const std::vector<TPlannedOutput>& outputs,
                      const std::vector<TRunFile>& files, std::string& error) {
    std::vector<TFileIdentity> ids;
    for (const TPlannedOutput& o : outputs)
        ids.push_back(o.File == "-" ? IdentifyStandardOutput() : IdentifyFile(o.File));
    for (size_t i = 0; i < outputs.size(); ++i) {
        if (ids[i].SpecialDevice != 0) {
            error = std::string(OutputOption(outputs[i].Kind)) + ": " +
                    Format(tr("%s is a disk (a block device); an output goes to a file, a pipe "
                              "or a character device"),
                           ShownName(outputs[i]).c_str());
            return false;
        }
        for (const TRunFile& f : files) {
            if (f.Path.empty() || !SameFile(ids[i], IdentifyFile(f.Path))) continue;
            // The role is marked for translation where the run names its files.
            const std::string name = ShownName(outputs[i]);
            error = std::string(OutputOption(outputs[i].Kind)) + ": " +
                    (f.Path == outputs[i].File
                         ? Format(tr("%s is %s of this run; an output cannot replace it"),
                                  name.c_str(), tr(f.Role.c_str()))
                         : Format(tr("%s is %s of this run (%s); an output cannot replace it"),
                                  name.c_str(), tr(f.Role.c_str()), f.Path.c_str()));
            return false;
        }
        for (size_t j = 0; j < i; ++j) {
            const bool bothStdout = outputs[i].File == "-" && outputs[j].File == "-";
            if (bothStdout) {
                error = tr("only one output can go to standard output (\"-\")");
                return false;
            }
            // A device or a pipe takes one output after the other; a file would keep only
            // the last one.
            const bool regular = !ids[i].Exists || ids[i].Regular;
            if (regular && SameFile(ids[i], ids[j])) {
                error = Format(tr("%s and %s name one file (%s); give each output a file of its "
                                  "own"),
                               OutputOption(outputs[i].Kind), OutputOption(outputs[j].Kind),
                               ShownName(outputs[i]).c_str());
                return false;
            }
        }
    }
    return true;
}

bool PrepareOutputFolder(const std::string& file, std::string& error) {
    if (file == "-") return true;
    const size_t slash = file.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return true; // the current folder, or "/"
    const std::string folder = file.substr(0, slash);
    // Each missing folder on the way, as mkdir -p does.
    int mkdirError = 0;
    for (size_t end = 1; end <= folder.size(); ++end) {
        if (end < folder.size() && folder[end] != '/') continue;
        if (folder[end - 1] == '/') continue; // "a//b"
        const std::string part = folder.substr(0, end);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) mkdirError = errno;
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        error = Format(tr("cannot create the folder %s: a file of that name is in the way"),
                       folder.c_str());
        return false;
    }
    const int err = errno == ENOENT && mkdirError != 0 ? mkdirError : errno;
    error = Format(tr("cannot create the folder %s: %s"), folder.c_str(), std::strerror(err));
    return false;
}

} // namespace qz
