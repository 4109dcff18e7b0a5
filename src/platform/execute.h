#pragma once

#include <QString>
#include <QStringList>

// Runs `tool` with `arguments` (no shell), waits, returns standard output. Standard error is
// never read. A non-zero status raises "本机配置命令失败"; a launch failure, the system's text.
QString execute(const QString &tool, const QStringList &arguments);
