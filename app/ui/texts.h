// The two-language catalogue of the report, the window, its operations and its dialog.
#pragma once

#include <cstdint>

#include "app/model/layout_model.h"
#include "app/ui/text_pair.h"

namespace velta {

// The sentence for a status; the empty text (never null) for a value outside the table.
const char16_t* StatusText(bool useChinese, ResizeStatus status);

namespace report_text {
inline constexpr TextPair kTitle{u"维尔塔莫", u"Veltamoor"};
inline constexpr TextPair kDisk{u"磁盘  ", u"Disk  "};
inline constexpr TextPair kSector{u"逻辑/物理扇区  ", u"Logical/physical sector  "};
inline constexpr TextPair kPartitionHeading{u"分区编号 / 起始字节 / 长度 / 类型\n",
                                            u"Partition # / start byte / length / type\n"};
inline constexpr TextPair kWindowsVolume{u"系统卷", u"Windows volume"};
inline constexpr TextPair kCurrent{u" 当前  ", u" Current  "};
inline constexpr TextPair kUsed{u" | 已用  ", u" | Used  "};
inline constexpr TextPair kNeighbour{u"相邻分区  ", u"Adjacent partition  "};
inline constexpr TextPair kUnallocated{u"右侧未分配空间  ", u"Unallocated space on right  "};
inline constexpr TextPair kCandidate{u"候选供空间卷  ", u"Adjacent candidate  "};
inline constexpr TextPair kFree{u" | 可用  ", u" | Free  "};
inline constexpr TextPair kShrinkable{u" | 实际可缩  ", u" | Shrinkable  "};
inline constexpr TextPair kMaximum{u"最多可增加  ", u"Maximum increase  "};
}  // namespace report_text

namespace window_text {
inline constexpr TextPair kTitle{u"维尔塔莫", u"Veltamoor"};
inline constexpr TextPair kApply{u"应用", u"Apply"};
inline constexpr TextPair kWindowsVolume{u"系统卷", u"Windows volume"};
inline constexpr TextPair kDataVolume{u"数据卷", u"Data volume"};
inline constexpr TextPair kNoDataVolume{u"无数据卷", u"No data volume"};
inline constexpr TextPair kCapacityUnavailable{u"   容量不可用", u"   Capacity unavailable"};
inline constexpr TextPair kTotal{u"    总容量 ", u"    Total "};
inline constexpr TextPair kFree{u"    剩余 ", u"    Free "};
inline constexpr TextPair kSpaceToAdd{u"增加空间：", u"Space to add: "};
inline constexpr TextPair kAfterResize{u" 扩容后  ", u" after resize  "};
}  // namespace window_text

namespace operation_text {
inline constexpr TextPair kReading{u"正在读取容量…", u"Reading volumes…"};
inline constexpr TextPair kPreparing{u"正在准备重启…", u"Preparing to restart…"};
inline constexpr TextPair kStartFailed{u"无法启动操作。", u"Could not start the operation."};
inline constexpr TextPair kWaitingForRestart{u"正在等待 Windows 重启…", u"Waiting for Windows to restart…"};
inline constexpr TextPair kScheduledRestart{u"扩容任务已登记，请重启电脑。",
                                            u"The resize is scheduled. Restart Windows to apply it."};
inline constexpr TextPair kScheduleFailedCode{u"无法安排重启扩容。代码 ", u"Could not schedule the resize. Code "};
inline constexpr TextPair kReadFailedCode{u"无法读取容量。代码 ", u"Could not read volume sizes. Code "};
inline constexpr TextPair kPending{u"已有扩容任务待处理。", u"A resize operation is pending."};
inline constexpr TextPair kNoSpace{u"没有可用的扩容空间。", u"No space is available for resizing."};
}  // namespace operation_text

namespace dialog_text {
inline constexpr TextPair kHeadingBefore{u"增加 ", u"Add "};
inline constexpr TextPair kHeadingAfter{u" 空间？", u" of space?"};
inline constexpr TextPair kBody{u"请保存文件并关闭打开的程序。电脑将重启，并在登录前完成扩容。",
                                u"Save your files and close open apps. Windows will restart and extend the volume before sign-in."};
inline constexpr TextPair kConfirm{u"确认", u"Confirm"};
inline constexpr TextPair kCancel{u"取消", u"Cancel"};
}  // namespace dialog_text

}  // namespace velta
