// The picture panel's fixed rules, apart from its window: the drive list from the mount
// table, the type lists and listing patterns, the information texts and the value steps.
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

// String ids of the type box for an open flag and a type filter.
std::vector<unsigned> KvPanelTypeTextIds(int openFlag, int typeFilter);
// The extensions listed for a position in the type box; "" lists nothing.
CString KvPanelPattern(int openFlag, int index);
// "%dKB" of the low half of the size, in whole KB.
CString KvFileSizeText(unsigned long long size);
CString KvPicSizeText(int width, int height, int bits);
int KvClampLevel(int value);
// A spin step: up (-1) adds one, down (+1) takes one away, clamped to 0..255.
int KvSpinLevel(int value, int delta);
