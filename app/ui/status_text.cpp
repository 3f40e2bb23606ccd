#include "app/ui/texts.h"

namespace velta {

namespace {

constexpr TextPair kStatusTexts[kResizeStatusCount] = {
    {u"可以安排重启扩容。", u"Ready to schedule a restart and resize."},
    {u"分区布局无效或当前版本不支持。", u"The partition layout is invalid or unsupported."},
    {u"右侧相邻分区为恢复、OEM 或其他保留分区，无法跨越。",
     u"The adjacent partition is reserved (for example, recovery or OEM) and cannot be skipped."},
    {u"同盘右侧没有可用空间，不能使用其他磁盘的空间。",
     u"There is no usable space on the right. Space on other disks cannot be used."},
    {u"此布局需要重启扩容。", u"This layout requires restarting to resize."},
    {u"不支持动态磁盘、跨盘卷或无法识别的卷区段。",
     u"Dynamic disks, spanned volumes and unknown volume extents are unsupported."},
    {u"涉及的卷必须是 NTFS。", u"The affected volumes must use NTFS."},
    {u"检测到 BitLocker 加密或转换状态。", u"BitLocker encryption or conversion was detected."},
    {u"无法确认卷已完全解密。", u"Windows could not confirm that the volume is fully decrypted."},
    {u"Windows 报告相邻卷没有足够的可缩容量。",
     u"Windows reports insufficient shrinkable space on the adjacent volume."},
    {u"无法读取所需的 Windows 存储信息。", u"The required Windows storage information could not be read."},
};

}  // namespace

const char16_t* StatusText(bool useChinese, ResizeStatus status) {
    auto index = static_cast<std::uint32_t>(status);
    if (index >= kResizeStatusCount) return u"";
    return Pick(kStatusTexts[index], useChinese);
}

}  // namespace velta
