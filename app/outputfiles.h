// The files a headless run writes, settled before the scan: the names the output options turn
// into, the checks that no output replaces a file the run reads or another output, and the
// folders the outputs go to.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace qz {

enum class TOutputKind { Export, FileTypes, TreemapImage, Dump };

// The option that asks for the output ("--export").
const char* OutputOption(TOutputKind kind);

// The file an output option's value names: "%d" and "%t" expanded (start date and time), the
// treemap image's extension made ".png", and ".mft" added to a dump's name without extension.
// A name that is an existing file other than a regular file or a folder (a device, a pipe)
// keeps its form: that file is written, nothing is created beside it. "-" stays "-".
std::string OutputFileName(TOutputKind kind, const std::string& value, double startTime);

// What a path names, to tell whether two names are one file: the device and inode of what
// exists (links followed), else the absolute path with ".", ".." and the links of its
// existing part resolved.
struct TFileIdentity {
    bool Exists = false;
    bool Regular = false; // an existing regular file
    dev_t Device = 0;
    ino_t Inode = 0;
    dev_t SpecialDevice = 0; // the device a block device node stands for
    std::string Path;        // the resolved path, when it does not exist
};
TFileIdentity IdentifyFile(const std::string& path);
// The same for what descriptor 1 is ("-" as an output).
TFileIdentity IdentifyStandardOutput();
bool SameFile(const TFileIdentity& a, const TFileIdentity& b);

// A file the run reads or writes besides its outputs, and what it is to the run.
struct TRunFile {
    std::string Role; // "the source", "the settings file", ...
    std::string Path;
};
struct TPlannedOutput {
    TOutputKind Kind;
    std::string File; // after OutputFileName; "-" is standard output
};

// False with error when an output would replace one of files (compared by identity, so also
// through links), is a block device (a disk, which it would overwrite), or two outputs name
// one file: "-" twice, or one regular file (existing or new) under two names. Character
// devices and pipes may take several outputs one after the other.
bool CheckOutputFiles(const std::vector<TPlannedOutput>& outputs,
                      const std::vector<TRunFile>& files, std::string& error);

// Creates the folder of an output file with its parents. False with error (naming the folder
// and the cause) when it cannot be made or inspected.
bool PrepareOutputFolder(const std::string& file, std::string& error);

} // namespace qz
