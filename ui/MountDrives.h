// The drives the picture panel offers: the file systems a user browses, from the mount table.
// Knows nothing of Qt.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/String.h"

enum class EKvDriveKind { kRemovable, kFixed, kRemote, kOptical };

struct SKvDrive {
  EKvDriveKind kind;
  CString mountPoint;
  CString text;  // e.g. 本地硬盘(/)
};

// The drives of a mount table's text (as /proc/self/mounts holds it): the root file system
// first, the home folder, then the mounted file systems in table order; RAM and pseudo file
// systems and mount points that are not folders (`isFolder`) are left out.
std::vector<SKvDrive> KvDrivesFromMounts(const std::string& mounts, const CString& home,
                                         const std::function<bool(const CString&)>& isFolder);
// The drives of this machine.
std::vector<SKvDrive> KvListDrives();
