#pragma once

#include <QMetaType>
#include <QString>
#include <QUrl>

// The six installer packages on the download server.
enum class OfficialInstaller { codex, claudeCode, geminiCLI, kimiCode, openCode, deepSeek };

QString title(OfficialInstaller installer);
QString packageFileName(OfficialInstaller installer);
// downloadServer + "/agent-packages/" + the package file name.
QUrl installerUrl(OfficialInstaller installer, const QUrl &downloadServer);

Q_DECLARE_METATYPE(OfficialInstaller)
