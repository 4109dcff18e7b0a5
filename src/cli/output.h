#pragma once

#include <QJsonObject>
#include <QString>

// What a command prints. Without --json the human text goes to standard output and failures to
// standard error; with --json standard output carries one JSON document and every human text goes
// to standard error. Progress goes to standard error only when that is a terminal.
class Output
{
public:
    explicit Output(bool json);

    bool json() const { return m_json; }
    // A line of the human text.
    void say(const QString &text) const;
    // A line of progress: only on a terminal.
    void progress(const QString &text) const;
    // Ends the command: the message (standard error when `status` is not 0), and with --json the
    // document with "ok", "exitStatus" and "message" besides `members`. Returns `status`.
    int finish(int status, const QString &message, QJsonObject members = {}) const;

    static void writeError(const QString &text);

private:
    bool m_json;
    bool m_progress;
};
