// Which volumes a server lists: the Linux filter over captured mountinfo texts and the
// Windows choice over what the volume manager says, both natively.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mlib/mvolumes.h"

namespace {

typedef std::vector<std::string> Paths;

TEST(VolumesOfMountInfo, DataFileSystemsOnceAtTheirShortestMountPoint) {
    struct Case {
        const char* host;
        const char* text;
        Paths volumes;
    };
    const Case cases[] = {
        {"Debian host",
         "22 28 0:21 / /sys rw - sysfs sysfs rw\n"
         "23 28 0:22 / /proc rw - proc proc rw\n"
         "24 28 0:5 / /dev rw - devtmpfs udev rw\n"
         "26 28 0:24 / /run rw - tmpfs tmpfs rw\n"
         "28 1 254:1 / / rw,relatime shared:1 - ext4 /dev/vda1 rw\n"
         "30 29 0:27 / /sys/fs/cgroup rw shared:9 - cgroup2 cgroup2 rw\n"
         "45 28 254:2 / /srv/data\\040set rw - xfs /dev/vdb rw\n"
         "46 28 259:1 / /boot/efi rw - vfat /dev/nvme0n1p1 rw\n"
         "47 28 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
         "48 28 0:40 / /proc/sys/fs/binfmt_misc rw - autofs systemd-1 rw\n",
         {"/", "/boot/efi", "/srv/data set"}},
        {"container with overlay and bind mounts",
         "500 400 0:50 / / rw - overlay overlay rw,lowerdir=/a\n"
         "501 500 0:52 / /proc rw - proc proc rw\n"
         "510 500 254:1 /var/lib/c/hosts /etc/hosts rw - ext4 /dev/vda1 rw\n"
         "511 500 254:1 /var/lib/c/resolv.conf /etc/resolv.conf rw - ext4 /dev/vda1 rw\n"
         "512 500 254:1 /var/lib/vol/data /data rw - ext4 /dev/vda1 rw\n"
         "513 500 254:3 / /mnt/b rw - ext4 /dev/vdc rw\n"
         "514 500 254:3 / /mnt/a rw - ext4 /dev/vdc rw\n"
         "515 500 0:60 / /dev/shm rw - tmpfs shm rw\n",
         {"/data", "/mnt/a"}},
        {"host with a hung NFS mount and unreadable lines",
         "28 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
         "60 28 0:70 / /mnt/nfs rw - nfs4 srv:/export rw\n"
         "61 28 0:71 / /home/u/.cache/doc rw - fuse.portal portal rw\n"
         "garbage line\n"
         "62 28 0:72 / relative rw - ext4 /dev/sdb rw\n"
         "63 28 0:73 / /x rw\n",
         {"/", "/mnt/nfs"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.volumes, VolumesOfMountInfo(c.text)) << c.host;
    }
}

TEST(ChooseWindowsVolumes, FixedVolumesAtTheirShortestPathNetworkOnlyWhenAllowed) {
    const std::vector<MWindowsVolume> volumes = {
        {{"C:\\"}, M_DRIVE_FIXED},
        {{"E:\\", "C:\\mnt\\e\\"}, M_DRIVE_FIXED},
        {{"C:\\mnt\\data\\"}, M_DRIVE_FIXED},
        {{"D:\\"}, M_DRIVE_OTHER},  // CD/DVD, removable or no media
        {{"Z:\\"}, M_DRIVE_REMOTE},
        {{}, M_DRIVE_FIXED},  // a volume mounted nowhere
    };
    EXPECT_EQ((Paths{"C:\\", "C:\\mnt\\data\\", "E:\\"}), ChooseWindowsVolumes(volumes, false));
    EXPECT_EQ((Paths{"C:\\", "C:\\mnt\\data\\", "E:\\", "Z:\\"}),
              ChooseWindowsVolumes(volumes, true));
}

}  // namespace
