// The volume list's shared part: the test stand-in and the rules that choose the volumes.
#include "mlib/mvolumes.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>

namespace {

std::atomic<MVolumeListHook> g_hook{nullptr};

// File systems that hold no data of their own: the kernel's views, memory, unions of
// other layers, automounter triggers, and read-only images (snaps, optical discs).
const char* const NOT_DATA[] = {
    "autofs",  "binfmt_misc", "bpf",        "cgroup",          "cgroup2",     "configfs",
    "cramfs",  "debugfs",     "devpts",     "devtmpfs",        "efivarfs",    "erofs",
    "fusectl", "fuse.lxcfs",  "hugetlbfs",  "iso9660",         "mqueue",      "nfsd",
    "nsfs",    "overlay",     "proc",       "pstore",          "ramfs",       "romfs",
    "rootfs",  "rpc_pipefs",  "securityfs", "selinuxfs",       "squashfs",    "sysfs",
    "tmpfs",   "tracefs",     "udf",        "fuse.gvfsd-fuse", "fuse.portal",
};

bool HoldsData(const std::string& type) {
    for (const char* name : NOT_DATA) {
        if (type == name) {
            return false;
        }
    }
    return true;
}

// The kernel writes a space, tab, line feed and backslash of a mount point as \ooo.
std::string Unescaped(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); i++) {
        const char* p = field.c_str() + i;
        if (p[0] == '\\' && p[1] >= '0' && p[1] <= '3' && p[2] >= '0' && p[2] <= '7' &&
            p[3] >= '0' && p[3] <= '7') {
            out += static_cast<char>((p[1] - '0') * 64 + (p[2] - '0') * 8 + (p[3] - '0'));
            i += 3;
        } else {
            out += p[0];
        }
    }
    return out;
}

// Shorter first; of two as long, the first in byte order.
bool Shorter(const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

std::vector<std::string> Sorted(std::vector<std::string> paths) {
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    return paths;
}

// The fields of a line, between blanks (without the stream library, which would take up
// a third of the Windows program for this Linux-only reading).
std::vector<std::string> Fields(const std::string& line) {
    const char* const BLANKS = " \t\r\v\f";
    std::vector<std::string> fields;
    for (size_t at = line.find_first_not_of(BLANKS); at != std::string::npos;) {
        size_t end = line.find_first_of(BLANKS, at);
        fields.push_back(line.substr(at, end == std::string::npos ? end : end - at));
        at = end == std::string::npos ? end : line.find_first_not_of(BLANKS, end);
    }
    return fields;
}

}  // namespace

bool MListVolumes(bool allowRemote, std::vector<std::string>* paths) {
    MVolumeListHook hook = g_hook;
    if (hook != nullptr) {
        return hook(allowRemote, paths);
    }
    return MListSystemVolumes(allowRemote, paths);
}

MVolumeListHook MSetVolumeListHook(MVolumeListHook hook) {
    return g_hook.exchange(hook);
}

// Fields of a line: mount id, parent id, major:minor, root, mount point, options, optional
// fields, "-", file system type, source, super options.
std::vector<std::string> VolumesOfMountInfo(const std::string& text) {
    std::map<std::string, std::string> byDevice;  // major:minor -> shortest mount point
    for (size_t start = 0; start < text.size();) {
        size_t end = std::min(text.find('\n', start), text.size());
        std::vector<std::string> field = Fields(text.substr(start, end - start));
        start = end + 1;
        auto dash = std::find(field.begin() + std::min<size_t>(field.size(), 6), field.end(), "-");
        if (field.size() < 6 || dash == field.end() || dash + 1 == field.end() ||
            field[4][0] != '/' || !HoldsData(*(dash + 1))) {
            continue;
        }
        std::string mountPoint = Unescaped(field[4]);
        std::string& kept = byDevice[field[2]];
        if (kept.empty() || Shorter(mountPoint, kept)) {
            kept = mountPoint;
        }
    }
    std::vector<std::string> paths;
    for (const auto& device : byDevice) {
        paths.push_back(device.second);
    }
    return Sorted(paths);
}

std::vector<std::string> ChooseWindowsVolumes(const std::vector<MWindowsVolume>& volumes,
                                              bool allowRemote) {
    std::vector<std::string> paths;
    for (const MWindowsVolume& volume : volumes) {
        bool wanted =
            volume.kind == M_DRIVE_FIXED || (allowRemote && volume.kind == M_DRIVE_REMOTE);
        if (!wanted || volume.paths.empty()) {
            continue;
        }
        paths.push_back(*std::min_element(
            volume.paths.begin(), volume.paths.end(),
            [](const std::string& a, const std::string& b) { return a.size() < b.size(); }));
    }
    return Sorted(paths);
}
