#pragma once

#include <QString>

// Fixed texts of the file and command utilities.
namespace FileUtilsTexts {

// Follows the file's name: "opencode.json 不是可合并的 JSON 对象".
inline const QString notMergeableSuffix = QStringLiteral(" 不是可合并的 JSON 对象");
inline const QString jsonNotText = QStringLiteral("无法生成 JSON 配置");

} // namespace FileUtilsTexts
