#pragma once

#include <QString>

// Fixed texts of the file and command utilities.
namespace FileUtilsTexts {

// Follows the file's name: "opencode.json 不是可合并的 JSON 对象".
inline const QString notMergeableSuffix = QStringLiteral(" 不是可合并的 JSON 对象");
// The file's name and an integer in it that does not fit in 64 bits, which would be written
// back rounded.
inline const QString inexactNumber = QStringLiteral("%1 中的整数 %2 超出 64 位，无法原样保留");
inline const QString jsonNotText = QStringLiteral("无法生成 JSON 配置");

} // namespace FileUtilsTexts
