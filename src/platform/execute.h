#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Runs `tool` with `arguments` (no shell), waits, returns standard output. Standard error is
// never read. Standard input is inherited, or, with `input`, a pipe carrying that text: a
// secret handed over this way never shows in the process list. A non-zero status raises
// "本机配置命令失败"; a launch failure, the system's text.
QString execute(
    const QString &tool, const QStringList &arguments, const std::optional<QString> &input = std::nullopt);
