// Raw NTFS access and the elevated relaunch.
//
// Reading an NTFS volume through its MFT means opening its block device, which normally needs
// root. HasVolumeAccess answers whether this process can; RestartElevated starts the program
// again through pkexec with the same arguments (relative paths made absolute, because pkexec
// starts the new process in another folder) and "--runningas", which keeps the relaunched
// process from trying again.
#pragma once

#include "fsops/mounts.h"

#include <string>
#include <vector>

namespace qz {

// respectRelaunch: a process started with "runningas" answers true at once. Otherwise the
// candidate devices are tried: device when given, else the NTFS devices of the mount table,
// else every mounted block device; the first (in mount-point order) that opens for reading
// decides. Without any candidate, root is taken to have access.
bool HasVolumeAccess(bool respectRelaunch, bool runningAs, const std::vector<TMountInfo>& mounts,
                     const std::string& device = {});

// The argument vector of the elevated relaunch: "pkexec", the program, the source path (made
// absolute), the option arguments (file and folder values made absolute), "--runningas".
std::vector<std::string> ElevatedArguments(const std::string& program, const std::string& path,
                                           const std::vector<std::string>& optionArgs);

// The executable file name names: itself when it holds a "/", else the first one in the
// folders of searchPath (a PATH value; nil: the usual system folders). Empty when none.
std::string FindProgram(const std::string& name, const char* searchPath);

// Replaces this process by the elevated relaunch. Returns only when that is impossible (no
// pkexec installed, or exec failed), with error saying why.
void RestartElevated(const std::vector<std::string>& argv, std::string& error);

} // namespace qz
