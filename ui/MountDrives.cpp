#include "ui/MountDrives.h"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

#include "KvMediaFile/KvMediaResources.h"
#include "host/FileName.h"
#include "host/ModuleResources.h"
#include "platform/Paths.h"

namespace {

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

// Mount points are written with octal escapes for blanks and backslashes; any other byte,
// UTF-8 or not, is written as it is and kept so.
std::string Unescape(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) &&
        IsOctal(field[i + 2]) && IsOctal(field[i + 3])) {
      out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                               (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

bool Under(const std::string& path, const std::string& folder) {
  return path == folder || path.rfind(folder + "/", 0) == 0;
}

// Nullopt for the file systems a user does not browse: kernel views, RAM, container layers.
std::optional<EKvDriveKind> Classify(const std::string& type, const std::string& point) {
  static const std::set<std::string> pseudo = {"proc",
                                               "sysfs",
                                               "tmpfs",
                                               "devtmpfs",
                                               "devpts",
                                               "cgroup",
                                               "cgroup2",
                                               "ramfs",
                                               "securityfs",
                                               "pstore",
                                               "debugfs",
                                               "tracefs",
                                               "mqueue",
                                               "hugetlbfs",
                                               "configfs",
                                               "fusectl",
                                               "bpf",
                                               "autofs",
                                               "binfmt_misc",
                                               "nsfs",
                                               "rpc_pipefs",
                                               "efivarfs",
                                               "selinuxfs",
                                               "nfsd",
                                               "squashfs",
                                               "overlay",
                                               "rootfs",
                                               "zram",
                                               "fuse.gvfsd-fuse",
                                               "fuse.portal",
                                               "fuse.lxcfs",
                                               "shm"};
  static const std::set<std::string> remote = {"nfs",   "nfs4",       "cifs",        "smb3",
                                               "smbfs", "9p",         "ceph",        "glusterfs",
                                               "afs",   "fuse.sshfs", "fuse.rclone", "davfs"};
  if (pseudo.count(type)) return std::nullopt;
  for (const char* system : {"/proc", "/sys", "/dev", "/run", "/boot/efi"})
    if (Under(point, system) && !Under(point, "/run/media")) return std::nullopt;
  if (remote.count(type)) return EKvDriveKind::kRemote;
  if (type == "iso9660" || type == "udf") return EKvDriveKind::kOptical;
  if (Under(point, "/media") || Under(point, "/run/media")) return EKvDriveKind::kRemovable;
  return EKvDriveKind::kFixed;
}

CString DriveText(EKvDriveKind kind, const CString& point) {
  static constexpr UINT kIds[] = {1105, 1106, 1107, 1108};
  CString label, text;
  CKvModuleRC::LoadStringW(KvMediaGetResourceHandle(), kIds[static_cast<int>(kind)], label);
  text.Format(L"%s%s", label.GetString(), (L"(" + point + L")").GetString());
  return text;
}

}  // namespace

std::vector<SKvDrive> KvDrivesFromMounts(const std::string& mounts, const CString& home,
                                         const std::function<bool(const CString&)>& isFolder) {
  std::vector<SKvDrive> drives;
  std::set<std::wstring> seen;
  const auto add = [&](EKvDriveKind kind, const CString& point) {
    if (!seen.insert(point.Str()).second || !isFolder(point)) return;
    drives.push_back({kind, point, DriveText(kind, point)});
  };
  add(EKvDriveKind::kFixed, L"/");
  if (!home.IsEmpty()) add(EKvDriveKind::kFixed, home);
  std::istringstream lines(mounts);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string source, point, type;
    if (!(fields >> source >> point >> type)) continue;
    point = Unescape(point);
    if (const auto kind = Classify(type, point)) add(*kind, CString::FromUtf8(point));
  }
  return drives;
}

std::vector<SKvDrive> KvListDrives() {
  std::ifstream file("/proc/self/mounts");
  std::stringstream text;
  text << file.rdbuf();
  const char* home = std::getenv("HOME");
  return KvDrivesFromMounts(text.str(), CString::FromUtf8(home ? home : ""),
                            [](const CString& p) { return KvDoesDirExist(p) != 0; });
}
