// Texts printed by the command line itself.
#pragma once

#include "app/ui/text_pair.h"

namespace velta::cli_text {

inline constexpr const char16_t* kUsageLine =
    u"Veltamoor.exe [--lang zh|en] [--scan | --preview MiB | --extract-marker PATH]\n";
inline constexpr TextPair kUsageHeading{u"用法\n", u"Usage\n"};
inline constexpr TextPair kExtracted{u"已提取启动标记助手。\n", u"Boot marker helper extracted.\n"};
inline constexpr TextPair kExtractFailed{u"提取失败，输出文件必须不存在。\n",
                                         u"Extraction failed. The output file must not exist.\n"};
inline constexpr TextPair kEstimateLabel{u"扩容后预计容量  ", u"Estimated capacity after resize  "};
inline constexpr TextPair kPreviewRefused{u"当前布局或输入量无法生成可应用的扩容计划。\n",
                                          u"This layout or amount cannot produce an applicable plan.\n"};
inline constexpr TextPair kInternalFailure{u"程序发生内部错误。\n", u"An internal error occurred.\n"};

}  // namespace velta::cli_text
