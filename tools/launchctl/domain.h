#pragma once

#include <QJsonObject>
#include <QString>

// The per-user launchd domain "gui/<uid>": the environment that `setenv` gives later jobs,
// and the jobs loaded with `bootstrap`. Kept under the user's state directory
// ($XDG_STATE_HOME, else ~/.local/state) in files that only the user can read, since the
// environment holds the key. An open Domain holds the domain's lock.
class Domain
{
public:
    // Opens and locks the domain of `uid`; throws std::runtime_error with the system's text.
    explicit Domain(uint uid);
    ~Domain();
    Domain(const Domain &) = delete;
    Domain &operator=(const Domain &) = delete;

    // What a read does with a state file that cannot be read back: fail with its path, or
    // say so on standard error, remove it and start afresh. It is not kept: it may hold keys
    // that no later unsetenv could reach, as it cannot be parsed; and what it held, the app
    // sets again when it connects.
    enum class IfDamaged { fail, discard };

    // Variable name → value.
    QJsonObject environment(IfDamaged ifDamaged = IfDamaged::fail) const;
    void setEnvironment(const QJsonObject &environment);

    // Label → the job as loaded (see main.cpp).
    QJsonObject jobs(IfDamaged ifDamaged = IfDamaged::fail) const;
    void setJobs(const QJsonObject &jobs);

    static QString directory(uint uid);

private:
    QJsonObject read(const QString &name, IfDamaged ifDamaged) const;
    void write(const QString &name, const QJsonObject &object);

    QString m_directory;
    int m_lock = -1;
};
