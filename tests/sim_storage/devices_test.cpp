// The simulated PC's device controls and volume functions behave as Windows documents them.
#include <gtest/gtest.h>

#include <vector>

#include "platform/win/bcrypt.h"
#include "platform/win/constants.h"
#include "platform/win/files.h"
#include "platform/win/guid.h"
#include "common/little_endian.h"
#include "platform/win/little_endian.h"
#include "platform/win/process.h"
#include "platform/win/storage.h"
#include "platform/win/storage_constants.h"
#include "platform/win/storage_unique.h"
#include "platform/win/unique.h"
#include "sim/core/machine.h"
#include "sim/core/text.h"

namespace sim {
namespace {

constexpr std::uint64_t MiB = 1ull << 20;
constexpr std::uint64_t GiB = 1ull << 30;

class Devices : public ::testing::Test {
protected:
    Devices() {
        Disk& d = m.storage.AddDisk(0, 16 * GiB);
        WriteGpt(d.bytes, 512, GuidFromText("01234567-89AB-CDEF-0123-456789ABCDEF"),
                 {{MiB, 4 * GiB, gpt_type::BasicData, GuidFromText("11111111-1111-1111-1111-111111111111"), 0, u""},
                  {4 * GiB + MiB, 4 * GiB, gpt_type::BasicData, GuidFromText("22222222-2222-2222-2222-222222222222"), 0, u""}});
        Volume c;
        c.mountPoints = {u"C:\\"};
        c.usedBytes = GiB;
        cPath = m.storage.AddVolumeOnPartition(0, 1, c).GuidPath();
        Volume d2;
        d2.mountPoints = {u"C:\\Data\\", u"D:\\"};
        dPath = m.storage.AddVolumeOnPartition(0, 2, d2).GuidPath();
    }

    win::HANDLE Open(const std::u16string& path) {
        return win::CreateFileW(path.c_str(), 0, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr,
                                win::OPEN_EXISTING, 0, nullptr);
    }

    Machine m;
    UseMachine use{m};
    std::u16string cPath, dPath;
};

TEST_F(Devices, VolumePathsFollowTheLongestMountPoint) {
    char16_t out[260];
    ASSERT_TRUE(win::GetVolumePathNameW(u"C:\\Windows\\System32", out, 260));
    EXPECT_EQ(std::u16string(out), u"C:\\");
    ASSERT_TRUE(win::GetVolumePathNameW(u"c:\\data\\photos", out, 260));
    EXPECT_EQ(std::u16string(out), u"C:\\Data\\");
    EXPECT_FALSE(win::GetVolumePathNameW(u"C:\\Windows", out, 3));
    EXPECT_EQ(win::GetLastError(), win::ERROR_FILENAME_EXCED_RANGE);
    ASSERT_TRUE(win::GetVolumeNameForVolumeMountPointW(u"C:\\Data\\", out, 260));
    EXPECT_EQ(std::u16string(out), dPath);
    EXPECT_FALSE(win::GetVolumeNameForVolumeMountPointW(u"C:", out, 260));  // no trailing backslash
    EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_PARAMETER);

    char16_t list[64] = {};
    win::DWORD returned = 0;
    ASSERT_TRUE(win::GetVolumePathNamesForVolumeNameW(dPath.c_str(), list, 64, &returned));
    EXPECT_EQ(std::u16string(list, returned), std::u16string(u"C:\\Data\\\0D:\\\0\0", 14));
    EXPECT_FALSE(win::GetVolumePathNamesForVolumeNameW(dPath.c_str(), list, 5, &returned));
    EXPECT_EQ(win::GetLastError(), win::ERROR_MORE_DATA);
    EXPECT_EQ(returned, 14u);
}

TEST_F(Devices, VolumeEnumerationListsEveryVolumeOnceAndIsClosed) {
    char16_t name[260];
    std::vector<std::u16string> seen;
    {
        win::UniqueFindVolume find(win::FindFirstVolumeW(name, 260));
        ASSERT_TRUE(find.valid());
        do seen.push_back(name);
        while (win::FindNextVolumeW(find.get(), name, 260));
        EXPECT_EQ(win::GetLastError(), win::ERROR_NO_MORE_FILES);
        EXPECT_EQ(m.handles.OpenCount(), 1u);
    }
    EXPECT_EQ(seen, (std::vector<std::u16string>{cPath, dPath}));
    EXPECT_EQ(m.handles.OpenCount(), 0u);
}

TEST_F(Devices, ExtentsOfOneAndOfTwo) {
    win::UniqueHandle volume(Open(cPath.substr(0, cPath.size() - 1)));
    ASSERT_TRUE(volume);
    std::uint8_t out[32] = {};
    win::DWORD returned = 0;
    ASSERT_TRUE(win::DeviceIoControl(volume.get(), win::IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, out, 32,
                                     &returned, nullptr));
    EXPECT_EQ(returned, 32u);
    EXPECT_EQ(velta::LoadLe32(out), 1u);
    EXPECT_EQ(velta::LoadLe64(out + 16), MiB);
    EXPECT_EQ(velta::LoadLe64(out + 24), 4 * GiB);
    EXPECT_FALSE(win::DeviceIoControl(volume.get(), win::IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, out, 31,
                                      &returned, nullptr));
    EXPECT_EQ(win::GetLastError(), win::ERROR_INSUFFICIENT_BUFFER);
    m.storage.FindVolume(cPath)->extents.push_back({0, 9 * GiB, GiB});
    EXPECT_FALSE(win::DeviceIoControl(volume.get(), win::IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, out, 32,
                                      &returned, nullptr));
    EXPECT_EQ(win::GetLastError(), win::ERROR_MORE_DATA);
    EXPECT_EQ(velta::LoadLe32(out), 2u);
}

TEST_F(Devices, TheRootDirectoryIsNotTheVolume) {
    win::UniqueHandle root(Open(cPath));  // with the trailing backslash
    ASSERT_TRUE(root);
    std::uint8_t out[32];
    win::DWORD returned = 0;
    EXPECT_FALSE(win::DeviceIoControl(root.get(), win::IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, out, 32,
                                      &returned, nullptr));
    EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_FUNCTION);
    EXPECT_FALSE(Open(u"\\\\.\\PhysicalDrive1") != win::INVALID_HANDLE_VALUE);
    EXPECT_EQ(win::GetLastError(), win::ERROR_FILE_NOT_FOUND);
}

TEST_F(Devices, DriveLayoutReportsItsSizeAndRefusesSmallBuffers) {
    win::UniqueHandle disk(Open(u"\\\\.\\PhysicalDrive0"));
    ASSERT_TRUE(disk);
    std::vector<std::uint8_t> out(48 + 2 * 144 - 1);
    win::DWORD returned = 7;
    EXPECT_FALSE(win::DeviceIoControl(disk.get(), win::IOCTL_DISK_GET_DRIVE_LAYOUT_EX, nullptr, 0, out.data(),
                                      static_cast<win::DWORD>(out.size()), &returned, nullptr));
    EXPECT_EQ(win::GetLastError(), win::ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(returned, 0u);
    out.resize(4096);
    ASSERT_TRUE(win::DeviceIoControl(disk.get(), win::IOCTL_DISK_GET_DRIVE_LAYOUT_EX, nullptr, 0, out.data(),
                                     static_cast<win::DWORD>(out.size()), &returned, nullptr));
    EXPECT_EQ(returned, 48u + 2 * 144);
    EXPECT_EQ(velta::LoadLe32(out.data()), win::PARTITION_STYLE_GPT);
    EXPECT_EQ(velta::LoadLe32(out.data() + 48 + 144 + 24), 2u);  // the second entry's number
}

TEST_F(Devices, FreeSpaceAndFileSystemOfAVolume) {
    win::ULONGLONG total = 0, free = 0, avail = 0;
    ASSERT_TRUE(win::GetDiskFreeSpaceExW(u"C:\\Windows", &avail, &total, &free));
    EXPECT_EQ(total, 4 * GiB - 4096);  // the last sector stays outside NTFS
    EXPECT_EQ(free, 3 * GiB - 4096);
    char16_t fs[32];
    ASSERT_TRUE(win::GetVolumeInformationW(dPath.c_str(), nullptr, 0, nullptr, nullptr, nullptr, fs, 32));
    EXPECT_EQ(std::u16string(fs), u"NTFS");
    m.storage.FindVolume(dPath)->fileSystem.clear();
    EXPECT_FALSE(win::GetVolumeInformationW(dPath.c_str(), nullptr, 0, nullptr, nullptr, nullptr, fs, 32));
    EXPECT_EQ(win::GetLastError(), win::ERROR_UNRECOGNIZED_VOLUME);
}

TEST_F(Devices, HashAndGuidText) {
    win::UniqueAlgorithm sha;
    ASSERT_EQ(win::BCryptOpenAlgorithmProvider(sha.put(), u"SHA256", nullptr, 0), 0);
    std::uint8_t abc[] = {'a', 'b', 'c'};
    std::uint8_t digest[32];
    ASSERT_EQ(win::BCryptHash(sha.get(), nullptr, 0, abc, 3, digest, 32), 0);
    EXPECT_EQ(digest[0], 0xba);  // SHA-256("abc") = ba7816bf...
    EXPECT_EQ(digest[31], 0xad);
    std::uint8_t key = 1;
    EXPECT_LT(win::BCryptHash(sha.get(), &key, 1, abc, 3, digest, 32), 0);  // a plain hash takes no secret
    EXPECT_LT(win::BCryptHash(sha.get(), nullptr, 0, abc, 3, digest, 20), 0);
    win::BCRYPT_ALG_HANDLE md5 = nullptr;
    EXPECT_LT(win::BCryptOpenAlgorithmProvider(&md5, u"MD5", nullptr, 0), 0);

    win::GUID g = GuidFromText("{3F2504E0-4F89-11D3-9A0C-0305E82C3301}");
    char16_t text[40];
    EXPECT_EQ(win::StringFromGUID2(g, text, 38), 0);
    ASSERT_EQ(win::StringFromGUID2(g, text, 40), 39);
    EXPECT_EQ(std::u16string(text), u"{3F2504E0-4F89-11D3-9A0C-0305E82C3301}");
    win::GUID back{};
    EXPECT_EQ(win::CLSIDFromString(u"{3f2504e0-4f89-11d3-9a0c-0305e82c3301}", &back), 0);
    EXPECT_EQ(back, g);
    EXPECT_LT(win::CLSIDFromString(u"{3f2504e0-4f89-11d3-9a0c-0305e82c3301}x", &back), 0);
    EXPECT_LT(win::CLSIDFromString(u"3f2504e0-4f89-11d3-9a0c-0305e82c3301", &back), 0);
}

}  // namespace
}  // namespace sim
